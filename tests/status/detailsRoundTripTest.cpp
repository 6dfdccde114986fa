// Random chains of adds, checked against an independent JSON parser: every document the
// builder writes must validate, and must hold exactly the members added, in their places.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "status/tDetailedStatus.h"

using namespace nZU7461_14_0;

namespace {

// What the document should hold, as the stream of events a parser reports.
struct tModelValue {
    std::string scalar; // the event of a string or number
    bool isObject = false;
    std::vector<std::pair<std::string, tModelValue>> members;
};

// The other parser insists on UTF-8, while the builder copies bytes from 0x80 up unchanged and
// may thus write any byte sequence. Reading every such byte as the Latin-1 character of the same
// value is a one-to-one mapping that both sides apply alike.
std::string latin1ToUtf8(const std::string& a_rBytes) {
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
std::string escapeHighBytes(const char* a_pDocument) {
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

void expectedEvents(const tModelValue& a_rValue, std::vector<std::string>* a_pEvents) {
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

std::mt19937* g_pFailureRandom = nullptr;

// Refuses one growth in twenty, so chains also break at random points.
bool unreliableReallocate(tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
    if (a_Capacity != 0 && g_pFailureRandom != nullptr && (*g_pFailureRandom)() % 20 == 0) {
        return false;
    }
    return reallocateDetails(a_pDetailed, a_Capacity);
}

std::string randomBytes(std::mt19937& a_rRandom, std::size_t a_MaxLength) {
    std::string l_Bytes(a_rRandom() % (a_MaxLength + 1), '\0');
    for (char& l_Byte : l_Bytes) {
        l_Byte = static_cast<char>(1 + a_rRandom() % 255);
    }
    return l_Bytes;
}

std::size_t highBytes(const std::string& a_rText) {
    std::size_t l_Count = 0;
    for (const unsigned char l_Byte : a_rText) {
        l_Count += l_Byte >= 0x80 ? 1 : 0;
    }
    return l_Count;
}

TEST(DetailsRoundTrip, RandomChainsParseToWhatWasAdded) {
    std::mt19937 l_Random(7461);
    g_pFailureRandom = &l_Random;
    for (int l_Run = 0; l_Run < 300; ++l_Run) {
        SCOPED_TRACE(l_Run);
        tDetailedStatus l_Detailed = makeDetailedStatus();
        char* l_pCursor = nullptr;
        ASSERT_TRUE(setDetailedError(&l_Detailed, -1, &l_pCursor));
        l_Detailed.reallocate = &unreliableReallocate;
        const tGrowth l_Growth = detailsGrowth(&l_Detailed);

        tModelValue l_Root;
        l_Root.isObject = true;
        // The container the cursor is in (member indices from the root) and its place there.
        std::vector<std::size_t> l_Path;
        std::size_t l_Index = 0;
        std::size_t l_HighBytes = 0;
        const int l_Steps = 1 + static_cast<int>(l_Random() % 60);
        for (int l_Step = 0; l_Step < l_Steps && l_pCursor != nullptr; ++l_Step) {
            tModelValue* l_pContainer = &l_Root;
            for (const std::size_t l_Member : l_Path) {
                l_pContainer = &l_pContainer->members[l_Member].second;
            }
            const unsigned l_Choice = l_Random() % 10;
            if (l_Choice == 0 && !l_Path.empty()) {
                l_pCursor += 1;
                l_Index = l_Path.back() + 1;
                l_Path.pop_back();
                continue;
            }
            if (l_Choice == 1) {
                l_pCursor = l_Detailed.json;
                l_Path.clear();
                l_Index = 0;
                continue;
            }
            const std::string l_Key = randomBytes(l_Random, 8);
            const std::string l_Before = l_Detailed.json;
            tModelValue l_Value;
            std::size_t l_AddedHighBytes = highBytes(l_Key);
            if (l_Choice <= 4) {
                const std::string l_Text = randomBytes(l_Random, 16);
                l_pCursor = addStringGrowing(l_pCursor, l_Key.c_str(), l_Text.c_str(), l_Growth);
                l_Value.scalar = "S" + latin1ToUtf8(l_Text);
                l_AddedHighBytes += highBytes(l_Text);
            } else if (l_Choice <= 6) {
                const std::int32_t l_Number = static_cast<std::int32_t>(l_Random());
                l_pCursor = addIntGrowing(l_pCursor, l_Key.c_str(), l_Number, l_Growth);
                l_Value.scalar = "N" + std::to_string(l_Number);
            } else if (l_Choice == 7) {
                const std::uint32_t l_Number = static_cast<std::uint32_t>(l_Random());
                l_pCursor = addUIntGrowing(l_pCursor, l_Key.c_str(), l_Number, l_Growth);
                l_Value.scalar = "N" + std::to_string(l_Number);
            } else {
                l_pCursor = addObjectGrowing(l_pCursor, l_Key.c_str(), l_Growth);
                l_Value.isObject = true;
            }
            if (l_pCursor == nullptr) {
                EXPECT_EQ(std::string(l_Detailed.json), l_Before);
                break;
            }
            l_HighBytes += l_AddedHighBytes;
            l_pContainer->members.insert(l_pContainer->members.begin() +
                                             static_cast<std::ptrdiff_t>(l_Index),
                                         {l_Key, l_Value});
            ++l_Index;
            if (l_Value.isObject && l_Random() % 2 == 0) {
                l_pCursor -= 1;
                l_Path.push_back(l_Index - 1);
                l_Index = 0;
            }
        }
        ASSERT_NE(l_Detailed.json, nullptr);
        const std::string l_Document = l_Detailed.json;
        EXPECT_EQ(findDocumentEnd(l_Detailed.json), l_Detailed.json + l_Document.size() - 1);
        EXPECT_EQ(l_Detailed.json[l_Detailed.capacity - 1], kDocumentEndMark);
        // Bytes from 0x80 up were copied, not escaped.
        EXPECT_EQ(highBytes(l_Document), l_HighBytes);

        tEventRecorder l_Recorder;
        const std::string l_Readable = escapeHighBytes(l_Detailed.json);
        EXPECT_TRUE(nlohmann::json::sax_parse(l_Readable, &l_Recorder)) << l_Recorder.error;
        std::vector<std::string> l_Expected;
        expectedEvents(l_Root, &l_Expected);
        EXPECT_EQ(l_Recorder.events, l_Expected);
        releaseDetailedStatus(&l_Detailed);
    }
    g_pFailureRandom = nullptr;
}

} // namespace
