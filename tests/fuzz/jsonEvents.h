// What a JSON text holds, as the stream of events an independent parser reports, for tests and
// fuzz targets that compare documents written by the builder with that parser's reading.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace zuTest {

// What the document should hold, as the stream of events a parser reports.
struct tModelValue {
    std::string scalar; // the event of a string or number
    bool isObject = false;
    std::vector<std::pair<std::string, tModelValue>> members;
};

// The other parser insists on UTF-8, while the builder copies bytes from 0x80 up unchanged and
// may thus write any byte sequence. Reading every such byte as the Latin-1 character of the same
// value is a one-to-one mapping that both sides apply alike.
inline std::string latin1ToUtf8(const std::string& a_rBytes) {
    std::string l_Out;
    for (const unsigned char l_Byte : a_rBytes) {
        if (l_Byte < 0x80) {
            l_Out += static_cast<char>(l_Byte);
        } else {
            l_Out += static_cast<char>(0xC0 | (l_Byte >> 6));
            l_Out += static_cast<char>(0x80 | (l_Byte & 0x3F));
        }
    }
    return l_Out;
}

// Bytes from 0x80 up stand only inside strings, so escaping them keeps the structure.
inline std::string escapeHighBytes(const char* a_pDocument) {
    std::string l_Out;
    for (const unsigned char* l_pAt = reinterpret_cast<const unsigned char*>(a_pDocument);
         *l_pAt != 0; ++l_pAt) {
        if (*l_pAt < 0x80) {
            l_Out += static_cast<char>(*l_pAt);
        } else {
            char l_Escape[8];
            std::snprintf(l_Escape, sizeof l_Escape, "\\u%04x", *l_pAt);
            l_Out += l_Escape;
        }
    }
    return l_Out;
}

inline void expectedEvents(const tModelValue& a_rValue, std::vector<std::string>* a_pEvents) {
    if (!a_rValue.isObject) {
        a_pEvents->push_back(a_rValue.scalar);
        return;
    }
    a_pEvents->push_back("{");
    for (const auto& l_Member : a_rValue.members) {
        a_pEvents->push_back("K" + latin1ToUtf8(l_Member.first));
        expectedEvents(l_Member.second, a_pEvents);
    }
    a_pEvents->push_back("}");
}

// Records what the parser saw, duplicate keys and order included.
struct tEventRecorder : nlohmann::json_sax<nlohmann::json> {
    std::vector<std::string> events;
    std::string error;

    bool null() override { return record("null"); }
    bool boolean(bool) override { return record("bool"); }
    bool number_integer(number_integer_t a_Value) override {
        return record("N" + std::to_string(a_Value));
    }
    bool number_unsigned(number_unsigned_t a_Value) override {
        return record("N" + std::to_string(a_Value));
    }
    bool number_float(number_float_t, const string_t& a_rText) override {
        return record("F" + a_rText);
    }
    bool string(string_t& a_rValue) override { return record("S" + a_rValue); }
    bool binary(binary_t&) override { return record("binary"); }
    bool start_object(std::size_t) override { return record("{"); }
    bool key(string_t& a_rKey) override { return record("K" + a_rKey); }
    bool end_object() override { return record("}"); }
    bool start_array(std::size_t) override { return record("["); }
    bool end_array() override { return record("]"); }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& a_rError) override {
        error = a_rError.what();
        return false;
    }

private:
    bool record(std::string a_Event) {
        events.push_back(std::move(a_Event));
        return true;
    }
};

inline std::size_t highBytes(const std::string& a_rText) {
    std::size_t l_Count = 0;
    for (const unsigned char l_Byte : a_rText) {
        l_Count += l_Byte >= 0x80 ? 1 : 0;
    }
    return l_Count;
}

// The model side of a chain of adds: where the builder's cursor stands, as the container it is
// in (member indices from the root) and the index at which the next member lands.
struct tModelChain {
    tModelValue root = objectValue();
    std::vector<std::size_t> path;
    std::size_t index = 0;

    static tModelValue objectValue() {
        tModelValue l_Value;
        l_Value.isObject = true;
        return l_Value;
    }
    tModelValue& container() {
        tModelValue* l_pContainer = &root;
        for (const std::size_t l_Member : path) {
            l_pContainer = &l_pContainer->members[l_Member].second;
        }
        return *l_pContainer;
    }
    // After an add that succeeded.
    void insert(const std::string& a_rKey, const tModelValue& a_rValue) {
        std::vector<std::pair<std::string, tModelValue>>& l_rMembers = container().members;
        l_rMembers.insert(l_rMembers.begin() + static_cast<std::ptrdiff_t>(index),
                          {a_rKey, a_rValue});
        ++index;
    }
    // The cursor stepped back onto the brace of the object just added.
    void enterLast() {
        path.push_back(index - 1);
        index = 0;
    }
    // The cursor stepped past the closing brace of the container it was in.
    void leave() {
        index = path.back() + 1;
        path.pop_back();
    }
    // The cursor was put on the root's opening brace.
    void toRootStart() {
        path.clear();
        index = 0;
    }
    std::vector<std::string> events() const {
        std::vector<std::string> l_Events;
        expectedEvents(root, &l_Events);
        return l_Events;
    }
};

// Whether an independent parser reads the document as holding exactly what the chain added.
inline bool parsesAsModelled(const char* a_pDocument, const tModelChain& a_rChain,
                             std::string* a_pWhy) {
    tEventRecorder l_Recorder;
    if (!nlohmann::json::sax_parse(escapeHighBytes(a_pDocument), &l_Recorder)) {
        *a_pWhy = "not parsed: " + l_Recorder.error;
        return false;
    }
    if (l_Recorder.events != a_rChain.events()) {
        *a_pWhy = "other members than added";
        return false;
    }
    return true;
}

} // namespace zuTest
