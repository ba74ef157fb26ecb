#include "platform/registry.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstring>
#include <map>
#include <memory>

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

std::string trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

/// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
std::optional<std::string> readQuoted(const std::string& s, size_t& pos)
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

std::optional<std::string> parseHexBytes(const std::string& s)
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
std::optional<Value> parseData(const std::string& s)
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
        const std::string digits = s.substr(6);
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
        if (close == std::string::npos || close == 4 || close > 12 || close + 1 >= s.size() || s[close + 1] != ':')
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
std::optional<Value> parseValueLine(const std::string& line, bool& remove)
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
    const std::string data = trim(line.substr(pos + 1));
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

Document parse(const std::string& text)
{
    Document doc;
    Key* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        // Hex lists may go on over several lines, each but the last ending in a backslash.
        while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos && pos < text.size()) {
            end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            line.pop_back();
            line += trim(text.substr(pos, end - pos));
            pos = end + 1;
        }
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            current = nullptr;
            if (line.back() != ']' || line.size() < 3)
                continue;
            if (line[1] == '-') {
                const std::string path = line.substr(2, line.size() - 3);
                for (auto it = doc.keys.begin(); it != doc.keys.end(); ++it)
                    if (equalNoCase(it->path, path)) {
                        doc.keys.erase(it);
                        break;
                    }
                continue;
            }
            current = &doc.ensure(line.substr(1, line.size() - 2));
            continue;
        }
        if (!current || (line[0] != '"' && line[0] != '@'))
            continue;
        bool remove = false;
        auto value = parseValueLine(line, remove);
        if (!value)
            continue;
        if (remove) {
            auto& vals = current->values;
            for (auto it = vals.begin(); it != vals.end(); ++it)
                if (equalNoCase(it->name, value->name)) {
                    vals.erase(it);
                    break;
                }
            continue;
        }
        setValue(*current, std::move(*value));
    }
    return doc;
}

std::string format(const Document& doc)
{
    std::string out = "REGEDIT4\n";
    for (const auto& key : doc.keys) {
        out += "\n[" + key.path + "]\n";
        for (const auto& v : key.values)
            out += (v.name.empty() ? std::string("@") : quote(v.name)) + "=" + formatData(v) + "\n";
    }
    return out;
}

} // namespace regfile

namespace {

struct OpenKey {
    std::string path;
    regfile::Key values;              ///< the key as read at open, with this handle's changes
    std::vector<std::string> changed; ///< names set through this handle since the last flush
    bool mustCreate = false;          ///< the key was missing and has to be written
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
        k->values = *found;
        if (disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
    } else {
        if (!create)
            return LONG(ERROR_FILE_NOT_FOUND);
        k->values.path = path;
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
    const regfile::Value* v = regfile::findValue(k->values, name);
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
    regfile::setValue(k->values, std::move(v));
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
    regfile::Key& target = doc.ensure(k->path);
    for (const auto& name : k->changed)
        if (const regfile::Value* v = regfile::findValue(k->values, name))
            regfile::setValue(target, *v);
    // Whether written or not, these changes are settled: a failed save is lost, nothing more.
    k->changed.clear();
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
