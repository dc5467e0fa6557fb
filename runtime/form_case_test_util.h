// Test helper: the cases of a written-forms file in testdata/, in which each
// case reads JSON texts into one fresh object and checks the exact text the
// object then writes.
#ifndef PGA_RUNTIME_FORM_CASE_TEST_UTIL_H_
#define PGA_RUNTIME_FORM_CASE_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace pga {

// One line of a case: "read TEXT" reads TEXT into the object, "into TEXT"
// makes TEXT the value later writes go into, "write TEXT" checks that the
// object writes exactly TEXT.
struct FormStep {
  std::string word;
  std::string text;
  int line;
};

// "case TYPE" starts a case on a fresh object of class TYPE; its steps
// follow. Blank lines and lines starting with # are skipped.
struct FormCase {
  std::string type;
  std::vector<FormStep> steps;
};

inline std::vector<FormCase> ReadFormCases(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in.is_open()) << path;
  std::vector<FormCase> cases;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string text = space == std::string::npos ? "" : line.substr(space + 1);
    if (word == "case") {
      cases.push_back(FormCase{text, {}});
    } else if ((word == "read" || word == "into" || word == "write") && !cases.empty()) {
      cases.back().steps.push_back(FormStep{word, text, number});
    } else {
      ADD_FAILURE() << path << ":" << number << ": unknown line " << line;
    }
  }
  EXPECT_FALSE(cases.empty()) << path;
  return cases;
}

}  // namespace pga

#endif  // PGA_RUNTIME_FORM_CASE_TEST_UTIL_H_
