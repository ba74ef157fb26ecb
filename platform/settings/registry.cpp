// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/settings/regfile.h"
#include "platform/logging.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace platform {

namespace {

// The values of a key by folded name: a key of many values is looked up and changed without scanning it.
class IndexedKey {
public:
    explicit IndexedKey(regfile::Key key = {}) : key_(std::move(key))
    {
        for (size_t i = 0; i < key_.values.size(); ++i)
            at_.try_emplace(key_.values[i].name, i); // the first of a name, as findValue
    }
    regfile::Key release() { return std::move(key_); }
    const regfile::Value* find(const std::string& name) const
    {
        const auto it = at_.find(name);
        return it == at_.end() ? nullptr : &key_.values[it->second];
    }
    void set(regfile::Value value)
    {
        const auto [it, added] = at_.try_emplace(value.name, key_.values.size());
        if (added) {
            key_.values.push_back(std::move(value));
        } else {
            key_.values[it->second].type = value.type;
            key_.values[it->second].data = std::move(value.data);
        }
    }

private:
    regfile::Key key_;
    std::unordered_map<std::string, size_t, regfile::FoldedHash, regfile::FoldedEqual> at_;
};

struct OpenKey {
    std::string path;
    IndexedKey values;                ///< the key as read at open, with this handle's changes
    std::vector<std::string> changed; ///< names set through this handle since the last flush
    /// The same names, each once whatever its letter case.
    std::unordered_set<std::string, regfile::FoldedHash, regfile::FoldedEqual> changedOnce;
    bool mustCreate = false; ///< the key was missing and has to be written
};

std::map<std::uintptr_t, std::unique_ptr<OpenKey>>& openKeys()
{
    static std::map<std::uintptr_t, std::unique_ptr<OpenKey>> keys;
    return keys;
}

std::uintptr_t nextHandle = 0x1000;

const char* rootName = "HKEY_CURRENT_USER";

bool validPath(const std::string& s)
{
    return s.find('\n') == std::string::npos && s.find('\r') == std::string::npos;
}

OpenKey* lookup(HKEY key)
{
    auto& keys = openKeys();
    auto it = keys.find(reinterpret_cast<std::uintptr_t>(key));
    return it == keys.end() ? nullptr : it->second.get();
}

/// The full path of subKey below key; empty when key is no open key.
std::string fullPath(HKEY key, const std::string& subKey)
{
    std::string base;
    if (key == HKEY_CURRENT_USER)
        base = rootName;
    else if (OpenKey* k = lookup(key))
        base = k->path;
    else
        return {};
    size_t b = 0, e = subKey.size();
    while (b < e && subKey[b] == '\\')
        ++b;
    while (e > b && subKey[e - 1] == '\\')
        --e;
    return b == e ? base : base + "\\" + subKey.substr(b, e - b);
}

regfile::Document readDocument()
{
    QFile f(QString::fromStdString(settingsFilePath()));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    return regfile::parse(std::string(bytes.constData(), size_t(bytes.size())));
}

bool writeDocument(const regfile::Document& doc)
{
    const QString path = QString::fromStdString(settingsFilePath());
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    // The callers store settings on the way out and have nobody to tell; the log hears of a failure.
    const auto failed = [&] {
        qCWarning(lcSettings) << "the settings file" << path << "was not written:" << f.errorString();
        return false;
    };
    if (!f.open(QIODevice::WriteOnly))
        return failed();
    const std::string text = regfile::format(doc);
    if (f.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        f.cancelWriting();
        return failed();
    }
    return f.commit() || failed();
}

LONG openKey(HKEY key, const std::string& subKey, bool create, HKEY* result, DWORD* disposition)
{
    if (!result)
        return LONG(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    if (!validPath(subKey))
        return LONG(ERROR_INVALID_PARAMETER);
    const std::string path = fullPath(key, subKey);
    if (path.empty())
        return LONG(ERROR_INVALID_HANDLE);
    auto k = std::make_unique<OpenKey>();
    k->path = path;
    const regfile::Document doc = readDocument();
    if (const regfile::Key* found = doc.find(path)) {
        k->values = IndexedKey(*found);
        if (disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
    } else {
        if (!create)
            return LONG(ERROR_FILE_NOT_FOUND);
        k->values = IndexedKey(regfile::Key{path, {}});
        k->mustCreate = true;
        if (disposition)
            *disposition = REG_CREATED_NEW_KEY;
    }
    const std::uintptr_t handle = nextHandle++;
    openKeys()[handle] = std::move(k);
    *result = reinterpret_cast<HKEY>(handle);
    if (create && openKeys()[handle]->mustCreate)
        RegFlushKey(*result);
    return LONG(ERROR_SUCCESS);
}

} // namespace

std::string settingsFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.config";
    return (base + "/tonfolio/settings.reg").toStdString();
}

LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD, DWORD, HKEY* result)
{
    return openKey(key, subKey, false, result, nullptr);
}

LONG RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD, const char*, DWORD, DWORD, void*, HKEY* result,
                    DWORD* disposition)
{
    return openKey(key, subKey, true, result, disposition);
}

LONG RegQueryValueEx(HKEY key, const std::string& name, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    OpenKey* k = lookup(key);
    if (!k)
        return LONG(ERROR_INVALID_HANDLE);
    const regfile::Value* v = k->values.find(name);
    if (!v)
        return LONG(ERROR_FILE_NOT_FOUND);
    if (type)
        *type = v->type;
    const DWORD needed = DWORD(v->data.size());
    if (data) {
        if (!size)
            return LONG(ERROR_INVALID_PARAMETER);
        if (*size < needed) {
            *size = needed;
            return LONG(ERROR_MORE_DATA);
        }
        std::memcpy(data, v->data.data(), needed);
    }
    if (size)
        *size = needed;
    return LONG(ERROR_SUCCESS);
}

LONG RegSetValueEx(HKEY key, const std::string& name, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    OpenKey* k = lookup(key);
    if (!k)
        return LONG(ERROR_INVALID_HANDLE);
    if (!validPath(name) || (size && !data))
        return LONG(ERROR_INVALID_PARAMETER);
    regfile::Value v;
    v.name = name;
    v.type = type;
    v.data.assign(reinterpret_cast<const char*>(data), size);
    // A text handed in without its terminator is stored the way a reader expects it.
    if (type == REG_SZ && (v.data.empty() || v.data.back() != '\0'))
        v.data += '\0';
    k->values.set(std::move(v));
    if (k->changedOnce.insert(name).second)
        k->changed.push_back(name);
    return LONG(ERROR_SUCCESS);
}

LONG RegFlushKey(HKEY key)
{
    OpenKey* k = lookup(key);
    if (!k)
        return LONG(ERROR_INVALID_HANDLE);
    if (k->changed.empty() && !k->mustCreate)
        return LONG(ERROR_SUCCESS);
    // Read the file again so that other keys and values written meanwhile survive.
    regfile::Document doc = readDocument();
    regfile::Key& stored = doc.ensure(k->path);
    IndexedKey target(std::move(stored));
    for (const auto& name : k->changed)
        if (const regfile::Value* v = k->values.find(name))
            target.set(*v);
    stored = target.release();
    // Whether written or not, these changes are settled: a failed save is lost, nothing more.
    k->changed.clear();
    k->changedOnce.clear();
    k->mustCreate = false;
    return writeDocument(doc) ? LONG(ERROR_SUCCESS) : LONG(ERROR_ACCESS_DENIED);
}

SettingsKey::SettingsKey(HKEY root, const std::string& subKey, DWORD access)
{
    if (RegCreateKeyEx(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_, nullptr) !=
        LONG(ERROR_SUCCESS))
        key_ = nullptr;
}

SettingsKey::~SettingsKey()
{
    if (key_)
        RegCloseKey(key_);
}

LONG RegCloseKey(HKEY key)
{
    if (key == HKEY_CURRENT_USER)
        return LONG(ERROR_SUCCESS);
    if (!lookup(key))
        return LONG(ERROR_INVALID_HANDLE);
    const LONG flushed = RegFlushKey(key);
    openKeys().erase(reinterpret_cast<std::uintptr_t>(key));
    return flushed;
}

std::optional<std::int32_t> regReadDword(HKEY key, const std::string& name)
{
    DWORD type = 0, size = 4;
    BYTE buf[4] = {};
    if (RegQueryValueEx(key, name, nullptr, &type, buf, &size) != LONG(ERROR_SUCCESS) || type != REG_DWORD || size != 4)
        return std::nullopt;
    const std::uint32_t n =
        std::uint32_t(buf[0]) | std::uint32_t(buf[1]) << 8 | std::uint32_t(buf[2]) << 16 | std::uint32_t(buf[3]) << 24;
    return static_cast<std::int32_t>(n);
}

std::optional<std::string> regReadString(HKEY key, const std::string& name)
{
    DWORD type = 0, size = 0;
    if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != LONG(ERROR_SUCCESS) || type != REG_SZ)
        return std::nullopt;
    std::string buf(size, '\0');
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) != LONG(ERROR_SUCCESS))
        return std::nullopt;
    buf.resize(size);
    // The text ends at its first NUL.
    const size_t nul = buf.find('\0');
    if (nul != std::string::npos)
        buf.resize(nul);
    return buf;
}

LONG regWriteDword(HKEY key, const std::string& name, std::int32_t value)
{
    const std::uint32_t n = static_cast<std::uint32_t>(value);
    const BYTE buf[4] = {BYTE(n), BYTE(n >> 8), BYTE(n >> 16), BYTE(n >> 24)};
    return RegSetValueEx(key, name, 0, REG_DWORD, buf, 4);
}

LONG regWriteString(HKEY key, const std::string& name, const std::string& value)
{
    std::string data = value;
    data += '\0';
    return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()));
}

} // namespace platform
