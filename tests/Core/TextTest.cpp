#include "Core/PLog.h"
#include "Core/PManagedObject.h"
#include "Core/PTextReader.h"
#include "Core/PTokenizer.h"
#include "Core/PUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

std::vector<std::string> AllLines(const std::string& text, std::vector<int>* types = nullptr) {
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    std::vector<std::string> lines;
    std::string line;
    while (reader.GetLine(line)) {
        lines.push_back(line);
        if (types) types->push_back(reader.GetLineType());
    }
    return lines;
}

std::vector<std::string> AllTokens(const std::string& text, const std::string& delimiter, bool quotes) {
    CPTokenizer tokenizer(text, delimiter, quotes);
    std::vector<std::string> tokens;
    std::string token;
    while (tokenizer.NextToken(token)) tokens.push_back(token);
    EXPECT_EQ(token, "") << "a false answer leaves an empty token";
    return tokens;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(TextReaderTest, LinesCommentsAndHeaders) {
    struct Case {
        const char* name;
        std::string text;
        Lines lines;
    };
    const Case cases[] = {
        {"crlf and blanks", "a\r\n\r\n  b  \n", {"a", "b"}},
        {"line comment drops the whole line", "value = 1 // note\nnext\n", {"next"}},
        {"comment marker anywhere", "url=http://x\nkeep", {"keep"}},
        {"block comment drops its first and last line", "x/*y\nz*/w\nv\n", {"v"}},
        {"block comment over several lines", "a\n/*\nb\nc\n*/\nd", {"a", "d"}},
        {"open and close on one line", "p /* q */ r\ns", {"s"}},
        {"line comment hides a block opener", "// /*\nt", {"t"}},
        {"tabs are blanks", "\t\tx\t\n", {"x"}},
        {"NUL ends a line", std::string("ab\0cd\n", 6), {"ab", "cd"}},
        {"no trailing line feed", "last", {"last"}},
        {"only blanks", " \r\n\t\n", {}},
        {"empty buffer", "", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(AllLines(c.text), c.lines) << c.name;
}

TEST(TextReaderTest, CountsLineFeedsPassed) {
    const std::string text = "a\r\n\r\n  b  \n";
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    std::string line;
    ASSERT_TRUE(reader.GetLine(line));
    EXPECT_EQ(reader.GetLineCount(), 1);
    ASSERT_TRUE(reader.GetLine(line));
    EXPECT_EQ(line, "b");
    EXPECT_EQ(reader.GetLineCount(), 3);
    EXPECT_FALSE(reader.GetLine(line));
    EXPECT_EQ(line, "");
}

TEST(TextReaderTest, SectionHeaders) {
    struct Case {
        std::string text;
        bool found;
        std::string line;
        int type;
    };
    const Case cases[] = {
        {"[Section]", true, "Section", 0},
        {"  [ spaced ]  ", true, " spaced ", 0}, // the inside is not trimmed again
        {"[", true, "[", 1},
        {"]", true, "]", 1},
        {"[a] b", true, "[a] b", 1},
        {"[]", false, "", 0},
    };
    for (const Case& c : cases) {
        CPTextReader reader(c.text.data(), static_cast<int>(c.text.size()));
        std::string line;
        EXPECT_EQ(reader.GetLine(line), c.found) << c.text;
        EXPECT_EQ(line, c.line) << c.text;
        EXPECT_EQ(reader.GetLineType(), c.type) << c.text;
    }
}

TEST(TextReaderTest, EmptyHeaderStopsALoopBeforeTheEnd) {
    // "[]" answers false though lines follow: loaders looping on GetLine stop there.
    const std::string text = "a\n[]\nb\n";
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    std::string line;
    EXPECT_TRUE(reader.GetLine(line));
    EXPECT_FALSE(reader.GetLine(line));
    EXPECT_TRUE(reader.GetLine(line));
    EXPECT_EQ(line, "b");
}

TEST(TextReaderTest, LongLineAndHighBytesPassThrough) {
    std::string longLine(5000, 'x');
    longLine[0] = 'L';
    longLine[4999] = 'R';
    const std::string high = "caf\xE9 \xFF\x80\xA0name";
    const std::string text = longLine + "\r\n" + high + "\n";
    EXPECT_EQ(AllLines(text), (Lines{longLine, high}));
}

TEST(TokenizerTest, Table) {
    struct Case {
        const char* name;
        std::string text;
        std::string delimiter;
        bool quotes;
        Lines tokens;
    };
    const Case cases[] = {
        {"consecutive delimiters give an empty token", "a; b;;c", ";", false, {"a", "b", "", "c"}},
        {"text is trimmed first", " x ", ";", false, {"x"}},
        {"a lone space token is kept", "; ;", ";", false, {"", " "}},
        {"trailing delimiter gives no empty token", "a;b;", ";", false, {"a", "b"}},
        {"empty text", "", ";", false, {}},
        {"blank text", " \t\r\n", ";", false, {}},
        {"quotes group", "\"a;b\";c", ";", true, {"a;b", "c"}},
        {"quotes ignored when off", "\"a;b\";c", ";", false, {"\"a", "b\"", "c"}},
        {"doubled quote inside quotes", "\"say \"\"hi\"\"\";x", ";", true, {"say \"hi\"", "x"}},
        {"quoted part inside a token", "ab\"c;d\"e;f", ";", true, {"abc;de", "f"}},
        {"blanks inside quotes at the ends are trimmed", "\" a \";b", ";", true, {"a", "b"}},
        {"unclosed quote runs to the end", "\"a;b", ";", true, {"a;b"}},
        {"no restart after a mismatch", "xaab", "ab", false, {"xaab"}},
        {"two-character delimiter", "xab", "ab", false, {"x"}},
        {"two-character delimiter in the middle", "1ab2ab3", "ab", false, {"1", "2", "3"}},
        {"partial delimiter at the end is kept", "xa", "ab", false, {"xa"}},
        {"space delimiter", "a b  c", " ", false, {"a", "b", "", "c"}},
        {"high bytes", "\xE9t\xE9;\xFF", ";", false, {"\xE9t\xE9", "\xFF"}},
    };
    for (const Case& c : cases) EXPECT_EQ(AllTokens(c.text, c.delimiter, c.quotes), c.tokens) << c.name;
}

TEST(UtilsTest, TextHelpers) {
    for (char c : {'\t', '\n', '\r', ' '}) EXPECT_TRUE(IsSpace(c)) << int(c);
    for (char c : {'\v', '\f', 'a', '\0', '\xA0', '\x85'}) EXPECT_FALSE(IsSpace(c)) << int(c);

    struct TrimCase {
        std::string in, out;
    };
    for (const TrimCase& c : std::vector<TrimCase>{
             {"", ""}, {" \t\r\n", ""}, {"\tab c \r\n", "ab c"}, {"\vx\v", "\vx\v"}, {"\xA0y\xA0", "\xA0y\xA0"}}) {
        std::string s = c.in;
        Trim(s);
        EXPECT_EQ(s, c.out);
    }

    struct NumberCase {
        std::string text;
        bool number, integer;
    };
    for (const NumberCase& c : std::vector<NumberCase>{{"", true, true},
                                                       {"12", true, true},
                                                       {"-3", true, true},
                                                       {"1.5", true, false},
                                                       {"--..", true, false},
                                                       {"1e5", false, false},
                                                       {"+1", false, false},
                                                       {" 1", false, false}}) {
        EXPECT_EQ(IsNumber(c.text), c.number) << c.text;
        EXPECT_EQ(IsInteger(c.text), c.integer) << c.text;
    }

    std::string mixed = "AbZ az@[`{\xC9\xE9";
    std::string lower = mixed, upper = mixed;
    ToLower(lower);
    ToUpper(upper);
    EXPECT_EQ(lower, "abz az@[`{\xC9\xE9");
    EXPECT_EQ(upper, "ABZ AZ@[`{\xC9\xE9");
}

TEST(UtilsTest, SafeArcFunctionsClamp) {
    const float pi = std::numbers::pi_v<float>;
    EXPECT_EQ(SafeAcos(1.0000001f), 0.0f);
    EXPECT_FLOAT_EQ(SafeAcos(-5.0f), pi);
    EXPECT_FLOAT_EQ(SafeAcos(0.5f), pi / 3);
    EXPECT_FLOAT_EQ(SafeAsin(-2.0f), -pi / 2);
    EXPECT_FLOAT_EQ(SafeAsin(2.0f), pi / 2);
    EXPECT_FLOAT_EQ(SafeAsin(0.5f), pi / 6);
}

TEST(UtilsTest, RayPlaneDistance) {
    struct Case {
        float origin[3], dir[3], plane[4];
        float expected;
    };
    const Case cases[] = {
        {{0, 0, 5}, {0, 0, -1}, {0, 0, 1, 0}, 5.0f},   {{0, 0, 5}, {0, 0, 1}, {0, 0, 1, 0}, -1.0f}, // leaving the plane
        {{0, 0, 5}, {1, 0, 0}, {0, 0, 1, 0}, -1.0f},                                                // parallel
        {{0, 0, 5}, {0, 0, -2}, {0, 0, 1, 0}, 2.5f},   // in multiples of the direction's length
        {{0, 0, -3}, {0, 0, -1}, {0, 0, 1, 0}, -3.0f}, // plane behind the origin
        {{1, 2, 3}, {0, -1, 0}, {0, 1, 0, -1}, 1.0f},  // plane y = 1
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(RayPlaneDistance(c.origin, c.dir, c.plane[0], c.plane[1], c.plane[2], c.plane[3]), c.expected);
}

TEST(UtilsTest, PointInTriangle) {
    struct Case {
        const char* name;
        float p[3], P[3], Q[3], R[3];
        bool inside;
    };
    const Case cases[] = {
        // Flat in x-y.
        {"xy inside", {0.2f, 0.2f, 7}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, true},
        {"xy outside", {0.8f, 0.8f, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, false},
        {"xy left of the triangle", {-0.5f, 0.2f, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, false},
        {"xy other winding", {0.2f, 0.2f, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 0}, true},
        // Vertical edge x = 0 in the x-y projection: its slope is infinite.
        {"vertical edge, point beside it", {0.1f, 0.5f, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, true},
        {"vertical edge, point on its x inside", {0.0f, 0.5f, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, true},
        {"vertical edge, point on its x below", {0.0f, -0.5f, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, false},
        // Flat in x-z (a floor), projected onto x-z.
        {"xz inside", {0.25f, 9, 0.25f}, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, true},
        {"xz outside", {0.75f, 0, 0.75f}, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, false},
        // Flat in y-z (a wall), projected onto y-z.
        {"yz inside", {3, 0.25f, 0.25f}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, true},
        {"yz outside", {0, 1, 1}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, false},
        // A degenerate triangle with NaN corners never contains anything.
        {"NaN corner", {0, 0, 0}, {NAN, 0, 0}, {1, 0, 0}, {0, 1, 0}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsPointInTriangle(c.p, c.P, c.Q, c.R), c.inside) << c.name;
}

TEST(LogTest, AcceptsMessagesAndStaysOpen) {
    CPLog& log = GetLog();
    EXPECT_EQ(&log, &GetLog());
    EXPECT_TRUE(log.IsOpen());
    log.Write(0, "DXError if %s on line %d\n%s\n%s\n", "Present", 42, "E_FAIL", "failure");
}

namespace {
// An object for the collector to delete.
class Collectable final : public CPManagedObject {
public:
    int GetObjectSize() const override { return sizeof(*this); }
    const char* GetTypeName() const override { return "Collectable"; }
};
} // namespace

// What the log keeps (when it keeps anything) ends its line, and the collector's line for every
// deleted object is one it discards.
TEST(LogTest, KeptMessagesEndTheirLinesAndCollectionWritesNone) {
    CPLog& log = GetLog();
    FILE* previous = log.GetSink();
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    log.SetSink(file);
    log.Write(0, "loaded %d", 3);
    log.Write(1, "DXError if %s on line %d\n%s\n%s\n", "Present", 42, "E_FAIL", "failure");
    log.Write(0, "%s", "");
    for (int i = 0; i < 3; ++i) CPRefPtr<Collectable> dropped(new Collectable);
    CPManagedObject::CollectGarbage();
    log.SetSink(previous);

    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    EXPECT_EQ(text, "[0] loaded 3\n[1] DXError if Present on line 42\nE_FAIL\nfailure\n[0] \n");
}
