// Rights as the access repair asks for them: for a key itself, for the
// subkeys that inherit them and for the child objects that inherit them.
#pragma once

#include <windows.h>

#include <vector>

namespace ZOLT {

struct RightsTriple {
    ACCESS_MASK object = 0;      // the key itself
    ACCESS_MASK containers = 0;  // inherited by child containers (subkeys)
    ACCESS_MASK objects = 0;     // inherited by child objects

    [[nodiscard]] bool Empty() const { return (object | containers | objects) == 0; }
    bool operator==(const RightsTriple& other) const {
        return object == other.object && containers == other.containers && objects == other.objects;
    }
    RightsTriple& operator|=(const RightsTriple& other);
    // The rights of this triple that other does not hold, place by place.
    RightsTriple Without(const RightsTriple& other) const;
};

struct RightsRequest {
    RightsTriple propagating;  // entries that propagate normally
    RightsTriple noPropagate;  // entries that carry NO_PROPAGATE_INHERIT_ACE

    [[nodiscard]] bool Empty() const { return propagating.Empty() && noPropagate.Empty(); }
    bool operator==(const RightsRequest& other) const {
        return propagating == other.propagating && noPropagate == other.noPropagate;
    }
    RightsRequest& operator|=(const RightsRequest& other);
    RightsRequest Without(const RightsRequest& other) const;
};

// What the access repair asks for: KEY_ALL_ACCESS on the key and on
// everything beneath it.
RightsRequest FullControlRequest();

// GENERIC_* rights replaced by the registry's own (KEY_READ, KEY_WRITE,
// KEY_READ, KEY_ALL_ACCESS).
ACCESS_MASK MapRegistryGenericRights(ACCESS_MASK mask);

// The rights one DACL entry gives, by its inheritance flags.
RightsRequest RightsOfEntry(ACCESS_MASK mask, BYTE aceFlags);

// One entry of a decomposed triple: its rights and inheritance flags.
struct EntryShape {
    ACCESS_MASK mask;
    BYTE flags;
    bool operator==(const EntryShape& other) const {
        return mask == other.mask && flags == other.flags;
    }
};

// The fewest entries that give exactly the rights of a triple, in the order
// they are added to a DACL; baseFlags is added to each entry's flags.
std::vector<EntryShape> DecomposeRights(const RightsTriple& rights, BYTE baseFlags);

}  // namespace ZOLT
