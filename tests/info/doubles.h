#pragma once

#include "platform/process.h"
#include "platform/qt/messagebox.h"
#include "platform/registry.h"

#include <QString>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

// Registry keys below HKEY_LOCAL_MACHINE holding exact bytes, with the
// conventions of RegQueryValueExA, counting every open and close.
class RegistryDouble final : public Registry {
public:
    struct Value {
        std::uint32_t type = Reg::kTypeSz;
        std::vector<unsigned char> bytes;
    };

    void Set(const std::string &key, const std::string &name, std::uint32_t type,
             std::vector<unsigned char> bytes) {
        keys_[Upper(key)][Upper(name)] = Value{type, std::move(bytes)};
    }
    void SetKey(const std::string &key) { keys_[Upper(key)]; }
    void DenyAccess(std::uint32_t mask) { denied_.insert(mask); }

    Reg::Status OpenKey(Reg::Key root, const std::string &subKey, std::uint32_t samDesired,
                        Reg::Key *result) override {
        accessAsked.push_back(samDesired);
        keysAsked.push_back(subKey);
        *result = 0;
        if (root != Reg::RootKey(Reg::kHKeyLocalMachine))
            return Reg::kErrorFileNotFound;
        const auto it = keys_.find(Upper(subKey));
        if (it == keys_.end())
            return Reg::kErrorFileNotFound;
        if (denied_.count(samDesired) != 0)
            return Reg::kErrorAccessDenied;
        ++opens;
        next_ += 4;
        open_[next_] = it->first;
        *result = next_;
        return Reg::kErrorSuccess;
    }

    Reg::Status QueryValue(Reg::Key key, const std::string &valueName, std::uint32_t *type,
                           unsigned char *data, std::uint32_t *dataSize) override {
        const auto handle = open_.find(key);
        if (handle == open_.end())
            return Reg::kErrorInvalidHandle;
        roomOffered.push_back(dataSize ? *dataSize : 0);
        valuesAsked.push_back(valueName);
        const auto &values = keys_[handle->second];
        const auto it = values.find(Upper(valueName));
        if (it == values.end())
            return Reg::kErrorFileNotFound;
        const Value &value = it->second;
        const auto needed = static_cast<std::uint32_t>(value.bytes.size());
        *type = value.type;
        const std::uint32_t room = *dataSize;
        *dataSize = needed;
        if (room < needed)
            return Reg::kErrorMoreData;
        if (needed != 0)
            std::memcpy(data, value.bytes.data(), needed);
        return Reg::kErrorSuccess;
    }

    Reg::Status CloseKey(Reg::Key key) override {
        if (open_.erase(key) == 0)
            return Reg::kErrorInvalidHandle;
        ++closes;
        return Reg::kErrorSuccess;
    }

    int OpenNow() const { return static_cast<int>(open_.size()); }

    int opens = 0;
    int closes = 0;
    std::vector<std::uint32_t> accessAsked;
    std::vector<std::string> keysAsked;
    std::vector<std::string> valuesAsked;
    std::vector<std::uint32_t> roomOffered;

private:
    static std::string Upper(std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return s;
    }

    std::map<std::string, std::map<std::string, Value>> keys_;
    std::map<Reg::Key, std::string> open_;
    std::set<std::uint32_t> denied_;
    Reg::Key next_ = 0x1000;
};

inline std::vector<unsigned char> Bytes(const std::string &s) {
    return {s.begin(), s.end()};
}

// Records what it is asked to start; starts nothing.
class ProcessDouble final : public ProcessStarter {
public:
    bool StartDetached(const std::string &path) override {
        started.push_back(path);
        return succeed;
    }
    bool succeed = true;
    std::vector<std::string> started;
};

class MessageBoxDouble final : public MessageBoxes {
public:
    struct Shown {
        QString title;
        QString text;
        MessageIcon icon;
    };
    void Show(QWidget *, const QString &title, const QString &text, MessageIcon icon) override {
        shown.push_back({title, text, icon});
    }
    std::vector<Shown> shown;
};
