// The runtime's reporting convention for failed operations: which line each
// kind of failure prints, and the wrapper that prints and passes failures on.
// Every operation passes its own signature text and source line.
#ifndef PGA_RUNTIME_FAILURE_REPORT_H_
#define PGA_RUNTIME_FAILURE_REPORT_H_

#include <exception>
#include <stdexcept>

#include "runtime/exception.h"

namespace pga {

class Event;

namespace failure_report {

// "<signature>:<line>, Exception occured!!\n" then "event : <source> ->
// <target> <message>\n", or without the message when it is null. A null
// event prints empty names.
void PrintHandlerFailure(const char* signature, int line, const Event* event, const char* message);

// "\033[1;31m Exception ID(<type>) occured at Component <record name> @
// <function>\n, because of <message> caught by <signature>:<line> \033[0m\n"
void PrintException(const Exception& e, const char* signature, int line);

// "\033[1;31m Exception ID(<typeCode>) -> <message>\n, <signature>:<line>
// \033[0m\n", the form of the attribute and protocol operations.
void PrintAttributeException(const Exception& e, const char* signature, int line);

// "\033[1;31m Exception -> <what>\n, <signature>:<line> \033[0m\n"
void PrintStandardException(const char* what, const char* signature, int line);

// Runs `body`. An Exception is printed with PrintException and a copy is
// thrown on; a standard exception is printed with PrintStandardException and
// thrown on as std::runtime_error with the same text; anything else passes
// through untouched.
template <typename Body>
auto ReportAndRethrow(const char* signature, int line, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const Exception& e) {
    PrintException(e, signature, line);
    throw Exception(e);
  } catch (const std::exception& e) {
    PrintStandardException(e.what(), signature, line);
    throw std::runtime_error(e.what());
  }
}

// As ReportAndRethrow, but an Exception is printed with
// PrintAttributeException: the form of the attribute and protocol
// operations.
template <typename Body>
auto ReportAttributeAndRethrow(const char* signature, int line, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const Exception& e) {
    PrintAttributeException(e, signature, line);
    throw Exception(e);
  } catch (const std::exception& e) {
    PrintStandardException(e.what(), signature, line);
    throw std::runtime_error(e.what());
  }
}

}  // namespace failure_report

}  // namespace pga

#endif  // PGA_RUNTIME_FAILURE_REPORT_H_
