#include "platform/modemfile/interface_list.h"

#include <utility>

namespace modemfile {

std::string LowerAsciiText(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::size_t InterfaceList::Add(ModemInterface settings) {
    slots_.push_back({nextKey_++, std::move(settings)});
    return slots_.size() - 1;
}

std::string InterfaceList::IdAt(std::size_t index) const {
    const std::string& id = slots_[index].settings.id;
    return id.empty() ? DefaultInterfaceId(index) : id;
}

bool InterfaceList::Find(std::uint64_t key, ModemInterface* settings, std::string* id) const {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].key != key) continue;
        if (settings) *settings = slots_[i].settings;
        if (id) *id = IdAt(i);
        return true;
    }
    return false;
}

bool InterfaceList::FindById(const std::string& id, std::uint64_t* key) const {
    const std::string wanted = LowerAsciiText(id);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (LowerAsciiText(IdAt(i)) != wanted) continue;
        *key = slots_[i].key;
        return true;
    }
    return false;
}

std::vector<std::uint64_t> InterfaceList::Keys() const {
    std::vector<std::uint64_t> keys;
    for (const Slot& slot : slots_) keys.push_back(slot.key);
    return keys;
}

std::vector<ModemInterface> InterfaceList::TakeAll() {
    std::vector<ModemInterface> taken;
    for (Slot& slot : slots_) taken.push_back(std::move(slot.settings));
    slots_.clear();
    return taken;
}

}  // namespace modemfile
