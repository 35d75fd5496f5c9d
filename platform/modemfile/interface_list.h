// The interfaces a modem lists, for the simulated modem and the stand-in of the Wine runs alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/modemfile/modem_description.h"

namespace modemfile {

// Ids and names match in any letter case, as Windows compares them.
std::string LowerAsciiText(std::string text);

// Each interface is known by a key of its own while it is listed; one that is removed and comes
// back gets a new key, as Windows hands out a new object. Not locked: its owner holds its own
// lock around every call.
class InterfaceList {
public:
    std::size_t Add(ModemInterface settings);  // its index
    std::size_t Size() const { return slots_.size(); }
    ModemInterface& At(std::size_t index) { return slots_[index].settings; }
    const ModemInterface& At(std::size_t index) const { return slots_[index].settings; }
    // The id it gives: its own, or the default of its position.
    std::string IdAt(std::size_t index) const;
    bool Find(std::uint64_t key, ModemInterface* settings, std::string* id) const;
    bool FindById(const std::string& id, std::uint64_t* key) const;
    std::vector<std::uint64_t> Keys() const;
    // Every interface, removed from the list.
    std::vector<ModemInterface> TakeAll();

private:
    struct Slot {
        std::uint64_t key = 0;
        ModemInterface settings;
    };
    std::vector<Slot> slots_;
    std::uint64_t nextKey_ = 1;
};

}  // namespace modemfile
