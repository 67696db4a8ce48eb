#include "support/security/RightsRequest.h"

namespace ZOLT {
namespace {

// Which places of a triple a decomposed entry covers, and the flags that make
// an entry cover exactly those.
struct DecompositionRow {
    bool object;
    bool containers;
    bool objects;
    BYTE flags;
};

constexpr DecompositionRow kDecomposition[] = {
    {true, true, true, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
    {true, true, false, CONTAINER_INHERIT_ACE},
    {false, true, true, INHERIT_ONLY_ACE | CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE},
    {true, false, true, OBJECT_INHERIT_ACE},
    {true, false, false, 0},
    {false, true, false, INHERIT_ONLY_ACE | CONTAINER_INHERIT_ACE},
    {false, false, true, INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE},
};

ACCESS_MASK Select(ACCESS_MASK mask, bool wanted) {
    return wanted ? mask : ~mask;
}

}  // namespace

RightsTriple& RightsTriple::operator|=(const RightsTriple& other) {
    object |= other.object;
    containers |= other.containers;
    objects |= other.objects;
    return *this;
}

RightsTriple RightsTriple::Without(const RightsTriple& other) const {
    return {object & ~other.object, containers & ~other.containers, objects & ~other.objects};
}

RightsRequest& RightsRequest::operator|=(const RightsRequest& other) {
    propagating |= other.propagating;
    noPropagate |= other.noPropagate;
    return *this;
}

RightsRequest RightsRequest::Without(const RightsRequest& other) const {
    return {propagating.Without(other.propagating), noPropagate.Without(other.noPropagate)};
}

RightsRequest FullControlRequest() {
    RightsRequest request;
    request.propagating = {KEY_ALL_ACCESS, KEY_ALL_ACCESS, KEY_ALL_ACCESS};
    return request;
}

ACCESS_MASK MapRegistryGenericRights(ACCESS_MASK mask) {
    GENERIC_MAPPING mapping{KEY_READ, KEY_WRITE, KEY_READ, KEY_ALL_ACCESS};
    MapGenericMask(&mask, &mapping);
    return mask;
}

RightsRequest RightsOfEntry(ACCESS_MASK mask, BYTE aceFlags) {
    RightsRequest rights;
    RightsTriple& triple =
        (aceFlags & NO_PROPAGATE_INHERIT_ACE) ? rights.noPropagate : rights.propagating;
    if ((aceFlags & INHERIT_ONLY_ACE) == 0) triple.object = mask;
    if (aceFlags & CONTAINER_INHERIT_ACE) triple.containers = mask;
    if (aceFlags & OBJECT_INHERIT_ACE) triple.objects = mask;
    return rights;
}

std::vector<EntryShape> DecomposeRights(const RightsTriple& rights, BYTE baseFlags) {
    std::vector<EntryShape> entries;
    for (const DecompositionRow& row : kDecomposition) {
        const ACCESS_MASK mask = Select(rights.object, row.object) &
                                 Select(rights.containers, row.containers) &
                                 Select(rights.objects, row.objects);
        if (mask != 0) entries.push_back({mask, static_cast<BYTE>(baseFlags | row.flags)});
    }
    return entries;
}

}  // namespace ZOLT
