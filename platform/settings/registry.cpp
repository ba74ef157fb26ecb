// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/settings/registry.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace platform {

namespace regfile {

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string_view trimView(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

/// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
std::optional<std::string> readQuoted(std::string_view s, size_t& pos)
{
    if (pos >= s.size() || s[pos] != '"')
        return std::nullopt;
    std::string out;
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\') {
            if (++pos >= s.size())
                return std::nullopt;
            c = s[pos];
        }
        out += c;
    }
    return std::nullopt;
}

std::optional<std::string> parseHexBytes(std::string_view s)
{
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i >= s.size())
            break;
        if (i + 1 >= s.size())
            return std::nullopt;
        const int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += char(hi * 16 + lo);
        i += 2;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i < s.size()) {
            if (s[i] != ',')
                return std::nullopt;
            ++i;
        }
    }
    return out;
}

/// The data part after '=': a quoted text, dword:XXXXXXXX, hex:.. or hex(N):..
std::optional<Value> parseData(std::string_view s)
{
    Value v;
    if (!s.empty() && s[0] == '"') {
        size_t pos = 0;
        auto text = readQuoted(s, pos);
        if (!text || pos != s.size())
            return std::nullopt;
        v.type = REG_SZ;
        v.data = *text + '\0';
        return v;
    }
    if (s.compare(0, 6, "dword:") == 0) {
        const std::string_view digits = s.substr(6);
        if (digits.empty() || digits.size() > 8)
            return std::nullopt;
        std::uint32_t n = 0;
        for (char c : digits) {
            const int d = hexDigit(c);
            if (d < 0)
                return std::nullopt;
            n = n * 16 + std::uint32_t(d);
        }
        v.type = REG_DWORD;
        for (int i = 0; i < 4; ++i)
            v.data += char((n >> (8 * i)) & 0xFF);
        return v;
    }
    size_t colon;
    if (s.compare(0, 4, "hex:") == 0) {
        v.type = REG_BINARY;
        colon = 3;
    } else if (s.compare(0, 4, "hex(") == 0) {
        const size_t close = s.find(')');
        if (close == std::string_view::npos || close == 4 || close > 12 || close + 1 >= s.size() || s[close + 1] != ':')
            return std::nullopt;
        std::uint32_t t = 0;
        for (size_t i = 4; i < close; ++i) {
            const int d = hexDigit(s[i]);
            if (d < 0)
                return std::nullopt;
            t = t * 16 + std::uint32_t(d);
        }
        v.type = t;
        colon = close + 1;
    } else {
        return std::nullopt;
    }
    auto bytes = parseHexBytes(s.substr(colon + 1));
    if (!bytes)
        return std::nullopt;
    v.data = std::move(*bytes);
    return v;
}

/// One value line; nullopt for a damaged line. `remove` is set for "name"=-.
std::optional<Value> parseValueLine(std::string_view line, bool& remove)
{
    remove = false;
    Value v;
    size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else {
        auto name = readQuoted(line, pos);
        if (!name)
            return std::nullopt;
        v.name = std::move(*name);
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
        ++pos;
    if (pos >= line.size() || line[pos] != '=')
        return std::nullopt;
    const std::string_view data = trimView(line.substr(pos + 1));
    if (data == "-") {
        remove = true;
        return v;
    }
    auto parsed = parseData(data);
    if (!parsed)
        return std::nullopt;
    parsed->name = std::move(v.name);
    return parsed;
}

std::string quote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

/// A REG_SZ can be written as a quoted text when it is one NUL-terminated line of text.
bool quotable(const std::string& data)
{
    if (data.empty() || data.back() != '\0')
        return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

std::string hexList(const std::string& data)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i)
            out += ',';
        const unsigned char c = static_cast<unsigned char>(data[i]);
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string formatData(const Value& v)
{
    char buf[32];
    if (v.type == REG_DWORD && v.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | static_cast<unsigned char>(v.data[size_t(i)]);
        std::snprintf(buf, sizeof buf, "dword:%08x", n);
        return buf;
    }
    if (v.type == REG_SZ && quotable(v.data))
        return quote(v.data.substr(0, v.data.size() - 1));
    if (v.type == REG_BINARY)
        return "hex:" + hexList(v.data);
    std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
    return buf + hexList(v.data);
}

} // namespace

Key* Document::find(const std::string& path)
{
    for (auto& k : keys)
        if (equalNoCase(k.path, path))
            return &k;
    return nullptr;
}

const Key* Document::find(const std::string& path) const
{
    return const_cast<Document*>(this)->find(path);
}

Key& Document::ensure(const std::string& path)
{
    if (Key* k = find(path))
        return *k;
    keys.push_back(Key{path, {}});
    return keys.back();
}

Value* findValue(Key& key, const std::string& name)
{
    for (auto& v : key.values)
        if (equalNoCase(v.name, name))
            return &v;
    return nullptr;
}

const Value* findValue(const Key& key, const std::string& name)
{
    return findValue(const_cast<Key&>(key), name);
}

void setValue(Key& key, Value value)
{
    if (Value* v = findValue(key, value.name)) {
        v->type = value.type;
        v->data = std::move(value.data);
    } else {
        key.values.push_back(std::move(value));
    }
}

namespace {

// Hash and equality of names ignoring ASCII case, so that names are looked up without folded copies.
struct FoldedHash {
    size_t operator()(std::string_view s) const noexcept
    {
        size_t h = 14695981039346656037ULL;
        for (const char c : s)
            h = (h ^ static_cast<unsigned char>(lowerAscii(c))) * 1099511628211ULL;
        return h;
    }
};
struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const noexcept
    {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (lowerAscii(a[i]) != lowerAscii(b[i]))
                return false;
        return true;
    }
};

// Builds a document from its lines with every key and value found by name at once, so reading stays
// linear in the size of the file. Removed keys and values are only marked and left out at the end.
class DocumentBuilder {
public:
    explicit DocumentBuilder(size_t sizeHint) { keyAt_.reserve(sizeHint); }

    /// The key of that path (ignoring ASCII case), added at the end when absent.
    size_t key(std::string_view path)
    {
        // The new key is made first, so that the table keeps a view of its own path (a deque never
        // moves its elements) and the path is hashed once; it goes again when the path is known.
        keys_.emplace_back();
        keys_.back().key.path = std::string(path);
        const auto [at, added] = keyAt_.try_emplace(keys_.back().key.path, keys_.size() - 1);
        if (!added)
            keys_.pop_back();
        return at->second;
    }
    void removeKey(std::string_view path)
    {
        const auto at = keyAt_.find(path);
        if (at == keyAt_.end())
            return;
        keys_[at->second].removed = true;
        keyAt_.erase(at);
    }
    void set(size_t key, Value value)
    {
        KeyState& state = keys_[key];
        std::vector<Value>& values = state.key.values;
        if (const std::optional<size_t> at = find(state, value.name)) {
            values[*at].type = value.type;
            values[*at].data = std::move(value.data);
            return;
        }
        if (state.valueAt)
            state.valueAt->emplace(value.name, values.size());
        values.push_back(std::move(value));
        state.removedValues.push_back(false);
        if (!state.valueAt && values.size() > kScanLimit) {
            state.valueAt = std::make_unique<ValueIndex>();
            for (size_t i = 0; i < values.size(); ++i)
                if (!state.removedValues[i])
                    state.valueAt->emplace(values[i].name, i);
        }
    }
    void removeValue(size_t key, const std::string& name)
    {
        KeyState& state = keys_[key];
        if (const std::optional<size_t> at = find(state, name)) {
            state.removedValues[*at] = true;
            if (state.valueAt)
                state.valueAt->erase(name);
        }
    }
    Document finish()
    {
        keyAt_.clear();
        Document out;
        out.keys.reserve(keys_.size());
        for (KeyState& state : keys_) {
            if (state.removed)
                continue;
            std::vector<Value>& values = state.key.values;
            size_t kept = 0;
            for (size_t v = 0; v < values.size(); ++v) {
                if (state.removedValues[v])
                    continue;
                if (kept != v)
                    values[kept] = std::move(values[v]);
                ++kept;
            }
            values.resize(kept);
            out.keys.push_back(std::move(state.key));
        }
        return out;
    }

private:
    // Most keys hold a few values: those are searched in place, a map is made only for a key of many.
    static constexpr size_t kScanLimit = 16;
    using ValueIndex = std::unordered_map<std::string, size_t, FoldedHash, FoldedEqual>;

    struct KeyState {
        Key key;
        bool removed = false;
        std::vector<bool> removedValues;
        std::unique_ptr<ValueIndex> valueAt; ///< name -> position of the live value, for a key of many
    };

    static std::optional<size_t> find(const KeyState& state, const std::string& name)
    {
        if (state.valueAt) {
            const auto at = state.valueAt->find(name);
            return at == state.valueAt->end() ? std::nullopt : std::optional<size_t>(at->second);
        }
        const std::vector<Value>& values = state.key.values;
        for (size_t i = 0; i < values.size(); ++i)
            if (!state.removedValues[i] && equalNoCase(values[i].name, name))
                return i;
        return std::nullopt;
    }

    std::deque<KeyState> keys_;
    std::unordered_map<std::string_view, size_t, FoldedHash, FoldedEqual> keyAt_; ///< path -> live key
};

} // namespace

Document parse(const std::string& text)
{
    DocumentBuilder doc(size_t(std::count(text.begin(), text.end(), '['))); // at most one key per bracket
    size_t current = 0;
    bool inKey = false; // value lines count only below a key
    const std::string_view all(text);
    std::string joined;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find('\n', pos);
        if (end == std::string_view::npos)
            end = all.size();
        std::string_view line = trimView(all.substr(pos, end - pos));
        pos = end + 1;
        // Hex lists may go on over several lines, each but the last ending in a backslash.
        if (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string_view::npos) {
            joined.assign(line);
            while (!joined.empty() && joined.back() == '\\' && pos < all.size()) {
                end = all.find('\n', pos);
                if (end == std::string_view::npos)
                    end = all.size();
                joined.pop_back();
                joined += trimView(all.substr(pos, end - pos));
                pos = end + 1;
            }
            line = joined;
        }
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            inKey = false;
            if (line.back() != ']' || line.size() < 3)
                continue;
            if (line[1] == '-') {
                doc.removeKey(line.substr(2, line.size() - 3));
                continue;
            }
            current = doc.key(line.substr(1, line.size() - 2));
            inKey = true;
            continue;
        }
        if (!inKey || (line[0] != '"' && line[0] != '@'))
            continue;
        bool remove = false;
        auto value = parseValueLine(line, remove);
        if (!value)
            continue;
        if (remove)
            doc.removeValue(current, value->name);
        else
            doc.set(current, std::move(*value));
    }
    return doc.finish();
}

std::string format(const Document& doc)
{
    std::string out = "REGEDIT4\n";
    for (const auto& key : doc.keys) {
        out += "\n[";
        out += key.path;
        out += "]\n";
        for (const auto& v : key.values) {
            if (v.name.empty())
                out += '@';
            else
                out += quote(v.name);
            out += '=';
            out += formatData(v);
            out += '\n';
        }
    }
    return out;
}

} // namespace regfile

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
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const std::string text = regfile::format(doc);
    if (f.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
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
