#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/attribute_test_fixture.h"
#include "runtime/exception.h"

namespace pga {

namespace {

constexpr char kOwn[] = "own_Recorder_attribute_7.json";

std::string File(const std::string& entries, const std::string& version = "") {
  const std::string head = version.empty() ? "" : "\"Version\":\"" + version + "\",";
  return "{\"Name\":\"Recorder\"," + head + "\"Attributes\":[" + entries + "]}";
}

std::string Entry(const std::string& key, const std::string& type, const std::string& value) {
  return "{\"ExternalKey\":\"" + key + "\",\"TypeCode\":\"" + type + "\",\"Value\":" + value + "}";
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ComponentAttributesTest : public AttributeFileTest {
 protected:
  // Reads `file` as the own attribute file of `r`; the read must throw
  // Exception `id` with `message`.
  void ExpectRefusal(Recorder& r, const std::string& file, int id, const std::string& message) {
    Write(kOwn, file);
    const Exception e = Thrown([&] { r.ReadAttributes(false); });
    EXPECT_EQ(e.GetType(), id) << message;
    EXPECT_EQ(std::string(e.GetMessage()), message);
  }
};

TEST_F(ComponentAttributesTest, VersionDecidesWhetherAndHowTheFileLoads) {
  Recorder r;
  Describe(r, 7);
  r.SetVersion("1.2.5", 1, 2, 5, "rc");
  int level = 0;
  r.RegisterAttribute("level", 1, 'i', &level);
  const std::string path = Path(kOwn);
  auto load = [&](const std::string& version, int value) {
    Write(kOwn, File(Entry("level", "i", std::to_string(value)), version));
    const std::string printed = Printed([&] { EXPECT_TRUE(r.ReadAttributes(false)) << version; });
    EXPECT_EQ(level, value) << version;
    return printed;
  };
  const std::string stars(126, '*');
  EXPECT_EQ(load("1.2.3", 1),
            stars + "\nClass Name    : Recorder\nMajor Version : 1\nMinor Version : 2\n" +
                "Patch Version : 5\nEtc Version   : rc\n" + stars +
                "\nAttribute Version\nMajor : 1\nMinor : 2\nPatch : 3\nAttribute file version of " +
                path + " is older than component Recorder's !\nAttribute file " + path +
                " is compatible!\n");
  EXPECT_TRUE(Has(load("1.2.5", 2), "is same with component Recorder's !\n"));
  EXPECT_TRUE(Has(load("1.2.7_beta", 3), "Patch : 7\nAttribute file version of " + path +
                                             " is newer than component Recorder's !\n"));
  EXPECT_TRUE(Has(load("1.1.9", 5), "Attribute file " + path + " is maybe compatible!\n"));
  EXPECT_EQ(load("", 6), "");
  // Numbers are read as "%u" reads them: a sign is taken, and minus one is
  // the largest major there is.
  EXPECT_TRUE(Has(load("+1.2.3", 4), "Major : 1\nMinor : 2\nPatch : 3\n"));
  ExpectRefusal(r, File(Entry("level", "i", "9"), "-1.2.3"), kErrorAttributeMajorVersion,
                "Attribute file version Major number is different.at , " + path);
  EXPECT_TRUE(Has(printed_, "Major : 4294967295\n"));
  EXPECT_EQ(level, 4);
}

TEST_F(ComponentAttributesTest, RefusedFilesThrowTheirExceptionAndReportIt) {
  Recorder r;
  Describe(r, 7);
  r.SetVersion("1.2.5", 1, 2, 5);
  int one = 0, quad[4] = {}, odd = 0;
  long typo = 0;
  r.RegisterAttribute("one", 1, 'i', &one);
  r.RegisterAttribute("quad", 4, 'i', quad);
  r.RegisterAttribute("typo", 1, 'i', &typo);
  r.RegisterAttribute("odd", 1, 'z', &odd);
  std::vector<Refusal> refusals = ReadRefusals("refused_attribute_files.txt", Path(kOwn));
  refusals.push_back({std::string(100000, '[') + std::string(100000, ']'), kErrorJsonParse,
                      "Attribute file parsing failed : JSON parse error: Nesting deeper than 512 "
                      "levels.(0) -> Recorder at " +
                          Path(kOwn)});
  for (const Refusal& refusal : refusals) {
    ExpectRefusal(r, refusal.text, refusal.id, refusal.message);
    EXPECT_TRUE(Has(printed_, "\033[1;31m Exception ID(1011000) -> " + refusal.message +
                                  "\n, bool __cdecl Component::ReadSettingFile("))
        << printed_;
  }
  EXPECT_EQ(one, 0);
}

TEST_F(ComponentAttributesTest, EntriesBeforeARefusedOneAreStored) {
  Recorder r;
  Describe(r, 7);
  int quad[4] = {}, one = 0;
  r.RegisterAttribute("quad", 4, 'i', quad);
  r.RegisterAttribute("one", 1, 'i', &one);
  // An array element of another kind ends the array; a count may have
  // leading zeros.
  Write(kOwn, File(Entry("quad", "4i", "[1,2,\"3\",4]") + "," + Entry("one", "01i", "9")));
  Printed([&] { EXPECT_TRUE(r.ReadAttributes(false)); });
  EXPECT_EQ(std::vector<int>(quad, quad + 4), std::vector<int>({1, 2, 0, 0}));
  EXPECT_EQ(one, 9);

  ExpectRefusal(r, File(Entry("one", "i", "10") + "," + Entry("quad", "3i", "[]")),
                kErrorAttributeMismatch, "AttributeItem is different 4:i != 3:i");
  EXPECT_EQ(errors_, "AttributeItem is different 4:i != 3:i\n");
  EXPECT_EQ(one, 10);
}

TEST_F(ComponentAttributesTest, BytesThatAreNotHexadecimalStopTheReadWithTheConversionError) {
  Recorder r;
  Describe(r, 7);
  std::uint8_t byte = 255, pair[2] = {};
  r.RegisterAttribute("byte", 1, 'B', &byte);
  r.RegisterAttribute("pair", 2, 'B', pair);

  auto failure = [&](const std::string& entry) {
    Write(kOwn, File(entry));
    ::testing::internal::CaptureStdout();
    std::string what;
    try {
      r.ReadAttributes(false);
    } catch (const std::runtime_error& e) {
      what = e.what();
    }
    printed_ = ::testing::internal::GetCapturedStdout();
    return what;
  };
  EXPECT_EQ(failure(Entry("pair", "2B", "[\"1a\",\"zz\"]")), "invalid stoi argument");
  EXPECT_EQ(pair[0], 0x1a);
  EXPECT_TRUE(Has(printed_,
                  "\033[1;31m Exception -> invalid stoi argument\n, bool __cdecl "
                  "Component::ReadSettingFile("));
  EXPECT_EQ(failure(Entry("byte", "B", "\"123456789\"")), "stoi argument out of range");
  EXPECT_EQ(byte, 255);
}

TEST_F(ComponentAttributesTest, ListsAppendAndTraitsKeepTheirFirstValue) {
  Recorder r;
  Describe(r, 7);
  std::vector<std::string> list;
  r.RegisterAttribute("list", 1, 'v', &list, 's');
  r.RegisterAttribute("mode", 1, 'm');
  const std::string traits =
      R"([{"on":true,"n":-3},{"big":3000000000},{"ratio":0.5,"label":"x"},{"bad":null},7])";
  Write(kOwn, File(Entry("list", "v", R"(["a",1,"b"])") + "," +
                   R"({"ExternalKey":"mode","TypeCode":"m","Traits":)" + traits + "}"));
  const std::string first = Printed([&] { EXPECT_TRUE(r.ReadAttributes(false)); });
  EXPECT_EQ(first,
            "Adding a\nAdding b\nRecorder mode Trait  -> (on:1)\nRecorder mode Trait  -> (n:-3)\n"
            "Recorder mode Trait  -> (big:3000000000)\nRecorder mode Trait  -> (ratio:0.5)\n"
            "Recorder mode Trait  -> (label:x)\nUnknown trait!\n");
  Write(kOwn, File(Entry("list", "v", R"(["a",1,"b"])") + "," +
                   R"({"ExternalKey":"mode","TypeCode":"m","Traits":[{"on":false}]})"));
  Printed([&] { EXPECT_TRUE(r.ReadAttributes(false)); });
  EXPECT_EQ(list, std::vector<std::string>({"a", "b", "a", "b"}));
  const AttributeItem& mode = r.GetAttributeMap().find("mode")->second;
  EXPECT_EQ(mode.traits.size(), 5u);
  EXPECT_TRUE(std::any_cast<bool>(mode.traits.find("on")->second));
  EXPECT_EQ(std::any_cast<unsigned>(mode.traits.find("big")->second), 3000000000u);

  Write(kOwn, File(R"({"ExternalKey":"mode","TypeCode":"m","Traits":{}})"));
  EXPECT_EQ(Printed([&] { r.ReadAttributes(false); }), "Traits field is not json array type!\n");
}

TEST_F(ComponentAttributesTest, FileNamesFollowThePrefixesAndTheInstanceIndex) {
  Recorder r;
  Describe(r, 7);
  int level = 0;
  r.RegisterAttribute("level", 1, 'i', &level);
  const std::string first = Path("def_Recorder_default_attribute_7.json");
  const std::string second = Path("def_Recorder_default_attribute.json");
  // A missing own file is skipped without a word.
  EXPECT_EQ(Printed([&] { EXPECT_FALSE(r.ReadAttributes(false)); }), "");
  EXPECT_EQ(Printed([&] { EXPECT_FALSE(r.ReadAttributes(true)); }),
            "Trying default file #1: " + first + "\nTrying default file #2: " + second + "\n" +
                second + " file not found\n");
  Write("def_Recorder_default_attribute.json", File(Entry("level", "i", "2")));
  Printed([&] { EXPECT_TRUE(r.ReadAttributes(true)); });
  EXPECT_EQ(level, 2);
  Write("def_Recorder_default_attribute_7.json", File(Entry("level", "i", "1")));
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(r.ReadAttributes(true)); }),
            "Trying default file #1: " + first + "\n");
  EXPECT_EQ(level, 1);
  Write(kOwn, File(Entry("level", "i", "7")));
  EXPECT_TRUE(r.ReadDefaultAttributes(
      [&](bool from_default) { return !from_default ? false : r.ReadAttributes(false); }));
  EXPECT_EQ(level, 7);

  r.WriteAttributes(false);
  r.WriteAttributes(true);
  EXPECT_TRUE(Exists(kOwn));
  EXPECT_TRUE(Exists("def_Recorder_default_attribute_ch007.json"));
}

TEST_F(ComponentAttributesTest, WritingProducesTheFileFormatAndReadsBack) {
  Recorder r;
  Describe(r, -1);
  const Exception e = Thrown([&] { r.WriteAttributes(false); });
  EXPECT_EQ(e.GetType(), kErrorNoInstanceIndex);
  EXPECT_EQ(std::string(e.GetMessage()), "RecorderComponent Channel is not Set!");
  EXPECT_TRUE(Files().empty());

  Describe(r, 7);
  r.WriteAttributes(false);
  EXPECT_EQ(Read(kOwn), R"({"Name":"Recorder","Version":"0.0.0","Attributes":[]})");

  int three[3] = {1, 2, 3};
  std::uint8_t byte = 255;
  std::string text = "hi";
  std::vector<std::string> list = {"a"}, untyped = {"b"};
  r.RegisterAttribute("three", 3, 'i', three);
  r.RegisterAttribute("byte", 1, 'B', &byte);
  r.RegisterAttribute("s", 1, 's', &text);
  r.RegisterAttribute("list", 1, 'v', &list, 's');
  r.RegisterAttribute("untyped", 1, 'v', &untyped);
  const std::string printed = Printed([&] { r.WriteAttributes(false); });
  EXPECT_EQ(Read(kOwn), R"({"Name":"Recorder","Version":"0.0.0","Attributes":[)"
                        R"({"ExternalKey":"s","TypeCode":"s","Value":"hi"},)"
                        R"({"ExternalKey":"byte","TypeCode":"B","Value":"ff"},)"
                        R"({"ExternalKey":"list","TypeCode":"v","Value":["a"]},)"
                        R"({"ExternalKey":"three","TypeCode":"3i","Value":[1,2,3]},)"
                        R"({"ExternalKey":"untyped","TypeCode":"v"}]})");
  EXPECT_EQ(printed,
            "NTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTP02\nsub_type code =  x\n"
            "NTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTP03\n");

  const std::string before = Read(kOwn);
  r.RegisterAttribute("mode", 1, 'm');
  EXPECT_EQ(std::string(Thrown([&] { r.WriteAttributes(false); }).GetMessage()),
            "Invalid TypeCode : m");
  r.RegisterAttribute("mode", 1, 'i', static_cast<long*>(nullptr));
  EXPECT_EQ(Thrown([&] { r.WriteAttributes(false); }).GetType(), kErrorAttributeUnbound);
  EXPECT_EQ(Read(kOwn), before);
}

}  // namespace

}  // namespace pga
