// The exact text the runtime's objects write after reading given texts,
// from the cases in testdata/written_forms.txt (its head describes the
// format).
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "runtime/allocator_test_fixture.h"
#include "runtime/event.h"
#include "runtime/exception.h"
#include "runtime/form_case_test_util.h"
#include "runtime/log.h"
#include "runtime/param_associate_a_receiver.h"
#include "runtime/param_associate_a_target.h"
#include "runtime/uid.h"

namespace pga {

namespace {

using WrittenFormsTest = AllocatorTest;

// Runs the steps of `form` on `object`.
void RunSteps(BaseObject& object, const FormCase& form) {
  for (const FormStep& step : form.steps) {
    if (step.word == "read") {
      object.Deserialize(JsonCell(step.text));
      continue;
    }
    BlobValue cell;
    object.Serialize(cell);
    EXPECT_EQ(Text(cell), step.text) << "written_forms.txt:" << step.line;
    BaseObject::ReleaseText(cell);
  }
}

template <typename T>
void RunCase(const FormCase& form) {
  T object;
  RunSteps(object, form);
}

TEST_F(WrittenFormsTest, EveryObjectWritesTheExpectedText) {
  const std::map<std::string, std::function<void(const FormCase&)>> runs = {
      {"UId", RunCase<UId>},
      {"Event", RunCase<Event>},
      {"Exception", RunCase<Exception>},
      {"Log",
       [](const FormCase& form) {
         Log log("", "", "", "");
         RunSteps(log, form);
       }},
      {"ParamAssociateAReceiver", RunCase<ComponentInterface::ParamAssociateAReceiver>},
      {"ParamAssociateATarget", RunCase<ComponentInterface::ParamAssociateATarget>},
  };
  for (const FormCase& form : ReadFormCases(PGA_RUNTIME_TESTDATA "/written_forms.txt")) {
    const auto run = runs.find(form.type);
    ASSERT_NE(run, runs.end()) << form.type;
    run->second(form);
  }
}

}  // namespace

}  // namespace pga
