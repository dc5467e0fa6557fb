#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/attribute_test_fixture.h"
#include "runtime/exception.h"
#include "runtime/serializable.h"

namespace pga {

namespace {

using Calls = std::vector<std::string>;
using String = Platform_Std_Refine::String;

constexpr char kOwn[] = "own_Recorder_attribute_7.json";
constexpr char kSecondDefault[] = "def_Recorder_default_attribute.json";
constexpr char kProtocol[] = "def_Recorder_protocol.json";

std::string Command(const char* group, const char* command, const char* id) {
  return std::string("{\"Cgi\":\"") + group + "\",\"Submenu\":\"" + command +
         "\",\"Command\":" + id + "}";
}

class ComponentPreparationTest : public AttributeFileTest {};

TEST_F(ComponentPreparationTest, DefaultsOnlyStartWritesTheOwnFileAndTheNextStartReadsIt) {
  {
    // Without any attribute file the preparation stops.
    Recorder none;
    Describe(none, 7);
    const std::string printed = Printed([&] { none.PrepareAttributes(); });
    EXPECT_EQ(printed.substr(printed.rfind("Default")),
              "Default Attribute file not exists.. failed at Recorder\n");
    EXPECT_EQ(none.calls, Calls({"prepare"}));
    EXPECT_FALSE(Exists(kOwn));
  }
  Write(kSecondDefault,
        R"({"Name":"Recorder","Attributes":[{"ExternalKey":"level","TypeCode":"i","Value":5}]})");
  {
    Recorder r;
    Describe(r, 7);
    int level = 0;
    r.RegisterAttribute("level", 1, 'i', &level);
    const std::string printed = Printed([&] { r.PrepareAttributes(); });
    EXPECT_EQ(level, 5);
    EXPECT_EQ(r.calls, Calls({"prepare", "defaulted", "protocol missing", "register"}));
    EXPECT_NE(printed.find("Trying default file #2: " + Path(kSecondDefault)), std::string::npos);
    EXPECT_EQ(Read(kOwn), R"({"Name":"Recorder","Version":"0.0.0","Attributes":[)"
                          R"({"ExternalKey":"level","TypeCode":"i","Value":5}]})");
  }
  Write(kSecondDefault,
        R"({"Name":"Recorder","Attributes":[{"ExternalKey":"level","TypeCode":"i","Value":6}]})");
  Recorder again;
  Describe(again, 7);
  int level = 0;
  again.RegisterAttribute("level", 1, 'i', &level);
  const std::string printed = Printed([&] { again.PrepareAttributes(); });
  EXPECT_EQ(level, 5);
  EXPECT_EQ(again.calls, Calls({"prepare", "protocol missing", "register"}));
  EXPECT_EQ(printed.find("Trying default"), std::string::npos);
}

TEST_F(ComponentPreparationTest, ProtocolFilesEnterEachCommandOnceOrMakeThePreparationThrow) {
  std::vector<Refusal> refusals = ReadRefusals("refused_protocol_files.txt");
  refusals.push_back({std::string(100000, '[') + std::string(100000, ']'), kErrorJsonParse,
                      "Protocol file parsing failed at Recorder"});
  Write(kOwn, R"({"Name":"Recorder","Attributes":[]})");
  for (const Refusal& refusal : refusals) {
    Recorder r;
    Describe(r, 7);
    Write(kProtocol, refusal.text);
    const Exception e = Thrown([&] { r.PrepareAttributes(); });
    EXPECT_EQ(e.GetType(), refusal.id) << refusal.message;
    EXPECT_EQ(std::string(e.GetMessage()), refusal.message);
    EXPECT_NE(printed_.find("\033[1;31m Exception ID(1011000) -> " + refusal.message +
                            "\n, void __cdecl Component::PrepareAttributes(void):"),
              std::string::npos);
    EXPECT_EQ(r.calls, Calls({"prepare"}));
    // Commands before the defective one stay entered.
    EXPECT_EQ(r.GetProtocolCommandMap().count("zoom.in"), refusal.id == kErrorProtocolEntry);
  }
  Recorder r;
  Describe(r, 7);
  Write(kProtocol, R"({"Name":"Recorder"})");
  Printed([&] { EXPECT_TRUE(r.ReadProtocolCommand()); });
  EXPECT_TRUE(r.GetProtocolCommandMap().empty());

  // A sound file enters each command once, the first of a key winning.
  Recorder good;
  Describe(good, 7);
  Write(kProtocol, "{\"Name\":\"Recorder\",\"Protocol\":[" + Command("ptz", "move", "12") + "," +
                       Command("ptz", "move", "13") + "," + Command("ptz", "", "4") + "]}");
  const std::string printed = Printed([&] { good.PrepareAttributes(); });
  EXPECT_EQ(printed,
            "Name is Recorder\nInserting Protocol CMD Group : ptz.move -> 12\n"
            "Inserting Protocol CMD Group : ptz.move -> 13\n"
            "Inserting Protocol CMD Group : ptz. -> 4\n"
            "=> void __cdecl Component::RegisterProtocolCommands(void)@" +
                printed.substr(printed.find("@") + 1));
  EXPECT_EQ(good.calls, Calls({"prepare", "register"}));
  const auto& commands = good.GetProtocolCommandMap();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands.find("ptz.move")->second, 12);
  EXPECT_EQ(commands.find("ptz")->second, 4);
}

// A Serializable that records the contexts it is given and refuses texts
// holding a member "bad".
class Settings : public Serializable {
 public:
  bool ParseText(const std::string& text, const String& context) override {
    contexts.push_back(context.str());
    return text.find("\"bad\"") == std::string::npos && Serializable::ParseText(text, context);
  }
  std::vector<std::string> contexts;
};

TEST_F(ComponentPreparationTest, SerializableFollowsTheOwnFileOrTheDefaults) {
  Recorder r;
  Describe(r, 7);
  r.SetVersion("1.0.0", 1, 0, 0);
  Settings settings;
  Write("def_Recorder_default_attribute_7.json", R"({"Version":"1.0.0","a":1})");
  Printed([&] { r.PrepareAttributes(&settings, "ctx"); });
  EXPECT_EQ(r.GetAttributeVersion(), "1.0.0");
  EXPECT_EQ(r.calls, Calls({"defaulted"}));
  EXPECT_EQ(settings.contexts, Calls({"ctx"}));
  EXPECT_EQ(Read(kOwn), R"({"Version":"1.0.0","a":1})");

  // The component moved to the defaults' new version: the own values are
  // kept and the own file is rewritten under that version.
  r.SetVersion("1.1.0", 1, 1, 0);
  Write("def_Recorder_default_attribute_7.json", R"({"Version":"1.1.0","a":2,"b":2})");
  Write(kOwn, R"({"Version":"1.0.0","a":1})");
  const std::string printed = Printed([&] { r.PrepareAttributes(&settings, "ctx"); });
  EXPECT_NE(printed.find(">>> Mismatch Json Version  : " + Path(kOwn) +
                         " (now : 1.0.0->default : 1.1.0)"),
            std::string::npos);
  EXPECT_NE(printed.find(">>> Mismatch Version between component and json : " + Path(kOwn) +
                         " (component : 1.1.0 != now : 1.0.0)"),
            std::string::npos);
  EXPECT_EQ(r.GetAttributeVersion(), "1.1.0");
  EXPECT_EQ(Read(kOwn), R"({"Version":"1.1.0","a":1})");

  // An own file that cannot be parsed leaves the defaults in place.
  Write(kOwn, R"({"Version":"1.1.0","bad":1})");
  EXPECT_EQ(Printed([&] { r.PrepareAttributes(&settings, "ctx"); }), "");
  EXPECT_EQ(settings.GetKeptText(), R"({"Version":"1.1.0","a":2,"b":2})");
}

}  // namespace

}  // namespace pga
