// "Actions.cfg": the key-name table, loading the bindings and writing them back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Input/NInput.h"

namespace fs = std::filesystem;

namespace {

class ActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        old = fs::current_path();
        dir = fs::temp_directory_path() / ("vastrel-actions-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
    }
    void TearDown() override {
        fs::current_path(old);
        fs::remove_all(dir);
        CPManagedObject::CollectGarbage();
    }
    void Write(const std::string& text) { std::ofstream("Actions.cfg", std::ios::binary) << text; }
    std::string Read() {
        std::ifstream in("Actions.cfg", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    fs::path dir, old;
};

TEST(KeyNamesTest, TableEntries) {
    struct Case {
        int code;
        const char* name;
    };
    const Case cases[] = {{0x00, "undefined key"}, {0x01, "Esc"},          {0x2B, "\\"},
                          {0x39, "Space"},         {0x47, "NumPad 7"},     {0x54, "undefined key"},
                          {0x8D, "Numpad ="},      {0x9C, "NumPad Enter"}, {0xD3, "Del"}};
    for (const Case& c : cases) EXPECT_STREQ(GetKeyName(c.code), c.name) << c.code;
    EXPECT_EQ(GetKeyName(0xD4), nullptr);
    EXPECT_EQ(GetKeyName(-1), nullptr);
    EXPECT_EQ(FindKeyCode("Space"), 0x39);
    EXPECT_EQ(FindKeyCode("space"), -1); // exact, case-sensitive
    EXPECT_EQ(FindKeyCode("undefined key"), 0);
}

TEST_F(ActionsTest, StartRefusesWithoutTheFile) {
    CPRefPtr<CNInput> input(new CNInput);
    EXPECT_FALSE(input->Start());
    EXPECT_FALSE(input->IsRunning());
}

TEST_F(ActionsTest, LoadBindsKeysAndNumericSlots) {
    Write("// bindings\r\n"
          "fire; Fire ;Space;false\r\n"
          "x;Title;5;true\r\n"
          "left;Turn left;Left;false\r\n"
          "\r\n"
          "boost;Boost;NoSuchKey;false\r\n"
          "short;Short\r\n"
          "fire;Fire again;F;false\r\n");
    CPRefPtr<CNInput> input(new CNInput);
    ASSERT_TRUE(input->Start());
    EXPECT_EQ(input->GetKeyBinding(0x39).text, "fire");
    EXPECT_TRUE(input->GetKeyBinding(0x39).bound);
    EXPECT_EQ(input->GetKeyBinding(0x21).text, "fire"); // a later line adds another key
    EXPECT_EQ(input->GetKeyBinding(0xCB).text, "left");
    EXPECT_TRUE(input->GetNumericBinding(5).numeric);
    EXPECT_EQ(input->GetNumericBinding(5).text, "x");
    EXPECT_FALSE(input->GetKeyBinding(0).bound); // unknown and empty key names bind nothing
    const CNActionBinding* x = input->GetActionMap().Find("x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->code, 5);
    EXPECT_EQ(x->text, "Title");
    EXPECT_EQ(input->GetActionMap().Find("fire")->text, "Fire again");
    std::list<std::string> want = {"fire", "x", "left", "boost", "short", "fire"};
    EXPECT_EQ(input->GetActionList(), want);
}

TEST_F(ActionsTest, WritingAndReadingBackReproducesTheBindings) {
    const std::string text = "fire;Fire;Space;false\r\n"
                             "x;Title;5;true\r\n"
                             "menu;Open the menu;Esc;false\r\n";
    Write(text);
    CPRefPtr<CNInput> input(new CNInput);
    ASSERT_EQ(input->LoadActions("Actions.cfg"), S_OK);
    ASSERT_EQ(input->SaveActions("Actions.cfg"), S_OK);
    EXPECT_EQ(Read(), text);
}

TEST_F(ActionsTest, SetActionRebindsInTheActionMapOnly) {
    Write("fire;Fire;Space;false\r\njump;Jump;J;false\r\n");
    CPRefPtr<CNInput> input(new CNInput);
    ASSERT_EQ(input->LoadActions("Actions.cfg"), S_OK);
    input->SetAction("Jump", "Space");
    EXPECT_EQ(input->GetActionMap().Find("fire")->keyName, "undefined key");
    EXPECT_EQ(input->GetActionMap().Find("jump")->keyName, "Space");
    EXPECT_EQ(input->GetActionMap().Find("jump")->code, 0x39);
    EXPECT_EQ(input->GetKeyBinding(0x39).text, "fire"); // until written and read back
    input->SetAction("Jump", "NoSuchKey");
    EXPECT_EQ(input->GetActionMap().Find("jump")->keyName, "Space");
}

// Two actions on one key, or two with one title: each walk changes the first entry in the action
// map's own order (193 buckets, h = 5h + byte: "fire" in bucket 27 before "jump" in 41, "a" in 97
// before "b" in 98), whatever the file's order.
TEST_F(ActionsTest, SetActionChangesTheFirstEntryInTheMapsOrder) {
    Write("jump;Jump;Space;false\r\nfire;Fire;Space;false\r\nnitro;Nitro;N;false\r\n"
          "b;Same;B;false\r\na;Same;A;false\r\n");
    CPRefPtr<CNInput> input(new CNInput);
    ASSERT_EQ(input->LoadActions("Actions.cfg"), S_OK);
    input->SetAction("Nitro", "Space");
    const CNActionBinding* fire = input->GetActionMap().Find("fire");
    EXPECT_EQ(fire->keyName, "undefined key");
    EXPECT_EQ(fire->code, 0);
    EXPECT_TRUE(fire->bound);
    EXPECT_EQ(fire->text, "Fire");
    EXPECT_EQ(input->GetActionMap().Find("jump")->keyName, "Space");
    EXPECT_EQ(input->GetActionMap().Find("nitro")->keyName, "Space");
    EXPECT_EQ(input->GetActionMap().Find("nitro")->code, 0x39);
    input->SetAction("Same", "Z");
    EXPECT_EQ(input->GetActionMap().Find("a")->keyName, "Z");
    EXPECT_EQ(input->GetActionMap().Find("a")->code, 0x2C);
    EXPECT_EQ(input->GetActionMap().Find("b")->keyName, "B");
}

TEST_F(ActionsTest, FieldsWithSeparatorsOrQuotesReadBackAsWritten) {
    // A title holding ";" or a quote is quoted (inner quotes doubled); plain lines keep their bytes.
    Write("fire;\"Fire; or \"\"shoot\"\"\";Space;false\r\nx;Slot;5;true\r\n");
    CPRefPtr<CNInput> input(new CNInput);
    ASSERT_EQ(input->LoadActions("Actions.cfg"), S_OK);
    EXPECT_EQ(input->GetActionMap().Find("fire")->text, "Fire; or \"shoot\"");
    ASSERT_EQ(input->SaveActions("Actions.cfg"), S_OK);
    EXPECT_EQ(Read(), "fire;\"Fire; or \"\"shoot\"\"\";Space;false\r\nx;Slot;5;true\r\n");
    ASSERT_EQ(input->LoadActions("Actions.cfg"), S_OK);
    EXPECT_EQ(input->GetActionMap().Find("fire")->text, "Fire; or \"shoot\"");
    EXPECT_EQ(input->GetKeyBinding(0x39).text, "fire");
    // Slots outside 0..127 stay in the action map only; an unknown key binds nothing.
    Write("big;Big;300;true\r\nneg;Neg;-1;true\r\nodd;Odd;Nowhere;false\r\n");
    ASSERT_EQ(input->LoadActions("Actions.cfg"), S_OK);
    EXPECT_EQ(input->GetActionMap().Size(), 3u);
    EXPECT_EQ(input->GetActionMap().Find("big")->code, 300 & 0xFF);
    for (int code = 0; code < 256; ++code) EXPECT_FALSE(input->GetKeyBinding(code).bound) << code;
}

} // namespace
