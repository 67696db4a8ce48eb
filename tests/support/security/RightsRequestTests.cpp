// Rights triples: how a DACL entry's flags place its rights, and how a triple
// is decomposed into the fewest entries that give exactly its rights.
#include "support/security/RightsRequest.h"

#include <gtest/gtest.h>

#include <vector>

// How gtest shows an entry when a comparison fails.
namespace ZOLT {
void PrintTo(const EntryShape& e, std::ostream* out) {
    *out << "{0x" << std::hex << e.mask << ", 0x" << int(e.flags) << std::dec << "}";
}
}  // namespace ZOLT

namespace {

using ZOLT::DecomposeRights;
using ZOLT::EntryShape;
using ZOLT::RightsOfEntry;
using ZOLT::RightsRequest;
using ZOLT::RightsTriple;

constexpr BYTE kObjectInherit = OBJECT_INHERIT_ACE;
constexpr BYTE kContainerInherit = CONTAINER_INHERIT_ACE;
constexpr BYTE kInheritOnly = INHERIT_ONLY_ACE;
constexpr BYTE kNoPropagate = NO_PROPAGATE_INHERIT_ACE;

// One bit for each combination of places, so every row of the table shows.
constexpr ACCESS_MASK kAllThree = 0x01;
constexpr ACCESS_MASK kObjectAndContainers = 0x02;
constexpr ACCESS_MASK kContainersAndObjects = 0x04;
constexpr ACCESS_MASK kObjectAndObjects = 0x08;
constexpr ACCESS_MASK kObjectOnly = 0x10;
constexpr ACCESS_MASK kContainersOnly = 0x20;
constexpr ACCESS_MASK kObjectsOnly = 0x40;

TEST(DecomposeRights, EachRowGivesItsFlagsInTableOrder) {
    struct Case {
        const char* label;
        RightsTriple rights;
        std::vector<EntryShape> entries;
    };
    const std::vector<Case> cases = {
        {"all three",
         {kAllThree, kAllThree, kAllThree},
         {{kAllThree, kObjectInherit | kContainerInherit}}},
        {"object and containers",
         {kObjectAndContainers, kObjectAndContainers, 0},
         {{kObjectAndContainers, kContainerInherit}}},
        {"containers and objects",
         {0, kContainersAndObjects, kContainersAndObjects},
         {{kContainersAndObjects, kInheritOnly | kContainerInherit | kObjectInherit}}},
        {"object and objects",
         {kObjectAndObjects, 0, kObjectAndObjects},
         {{kObjectAndObjects, kObjectInherit}}},
        {"object only", {kObjectOnly, 0, 0}, {{kObjectOnly, 0}}},
        {"containers only",
         {0, kContainersOnly, 0},
         {{kContainersOnly, kInheritOnly | kContainerInherit}}},
        {"objects only", {0, 0, kObjectsOnly}, {{kObjectsOnly, kInheritOnly | kObjectInherit}}},
        {"nothing", {0, 0, 0}, {}},
        {"every row at once",
         {kAllThree | kObjectAndContainers | kObjectAndObjects | kObjectOnly,
          kAllThree | kObjectAndContainers | kContainersAndObjects | kContainersOnly,
          kAllThree | kContainersAndObjects | kObjectAndObjects | kObjectsOnly},
         {{kAllThree, 0x3},
          {kObjectAndContainers, 0x2},
          {kContainersAndObjects, 0xB},
          {kObjectAndObjects, 0x1},
          {kObjectOnly, 0x0},
          {kContainersOnly, 0xA},
          {kObjectsOnly, 0x9}}},
        {"full control everywhere",
         {KEY_ALL_ACCESS, KEY_ALL_ACCESS, KEY_ALL_ACCESS},
         {{KEY_ALL_ACCESS, 0x3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(DecomposeRights(c.rights, 0), c.entries);
        std::vector<EntryShape> noPropagate = c.entries;
        for (EntryShape& e : noPropagate) e.flags |= kNoPropagate;
        EXPECT_EQ(DecomposeRights(c.rights, kNoPropagate), noPropagate);
    }
}

TEST(RightsOfEntry, FlagsPlaceTheMask) {
    constexpr ACCESS_MASK kMask = KEY_SET_VALUE;
    struct Case {
        BYTE flags;
        RightsRequest rights;
    };
    const std::vector<Case> cases = {
        {0, {{kMask, 0, 0}, {}}},
        {kContainerInherit, {{kMask, kMask, 0}, {}}},
        {kObjectInherit, {{kMask, 0, kMask}, {}}},
        {kObjectInherit | kContainerInherit, {{kMask, kMask, kMask}, {}}},
        {kInheritOnly | kContainerInherit, {{0, kMask, 0}, {}}},
        {kInheritOnly, {{0, 0, 0}, {}}},
        {kNoPropagate | kContainerInherit, {{}, {kMask, kMask, 0}}},
        {kNoPropagate | kInheritOnly | kObjectInherit, {{}, {0, 0, kMask}}},
        // Whether an entry was inherited does not change what it gives.
        {INHERITED_ACE | kObjectInherit, {{kMask, 0, kMask}, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.flags));
        EXPECT_TRUE(RightsOfEntry(kMask, c.flags) == c.rights);
    }
}

TEST(RightsRequest, GenericRightsMapToTheRegistrysOwn) {
    EXPECT_EQ(ZOLT::MapRegistryGenericRights(GENERIC_READ), static_cast<ACCESS_MASK>(KEY_READ));
    EXPECT_EQ(ZOLT::MapRegistryGenericRights(GENERIC_WRITE), static_cast<ACCESS_MASK>(KEY_WRITE));
    EXPECT_EQ(ZOLT::MapRegistryGenericRights(GENERIC_EXECUTE), static_cast<ACCESS_MASK>(KEY_READ));
    EXPECT_EQ(ZOLT::MapRegistryGenericRights(GENERIC_ALL),
              static_cast<ACCESS_MASK>(KEY_ALL_ACCESS));
    EXPECT_EQ(ZOLT::MapRegistryGenericRights(GENERIC_WRITE | DELETE),
              static_cast<ACCESS_MASK>(KEY_WRITE | DELETE));
    EXPECT_EQ(ZOLT::MapRegistryGenericRights(KEY_SET_VALUE),
              static_cast<ACCESS_MASK>(KEY_SET_VALUE));
}

TEST(RightsRequest, FullControlCoversTheKeyAndEverythingBeneathIt) {
    const RightsRequest request = ZOLT::FullControlRequest();
    EXPECT_TRUE(request.propagating ==
                (RightsTriple{KEY_ALL_ACCESS, KEY_ALL_ACCESS, KEY_ALL_ACCESS}));
    EXPECT_TRUE(request.noPropagate.Empty());
    EXPECT_FALSE(request.Empty());
    EXPECT_TRUE(RightsRequest{}.Empty());
}

}  // namespace
