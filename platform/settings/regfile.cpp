// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/settings/regfile.h"


#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

namespace regfile {

namespace {

bool equalNoCase(std::string_view a, std::string_view b)
{
    return FoldedEqual{}(a, b);
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

} // namespace platform
