#include "runtime/failure_report.h"

#include <cstdio>

#include "runtime/event.h"

namespace pga {

namespace failure_report {

void PrintHandlerFailure(const char* signature, int line, const Event* event, const char* message) {
  const char* source = event != nullptr ? event->GetSourceUId().GetName() : "";
  const char* target = event != nullptr ? event->GetTargetUId().GetName() : "";
  std::printf("%s:%d, Exception occured!!\n", signature, line);
  if (message != nullptr) {
    std::printf("event : %s -> %s %s\n", source, target, message);
  } else {
    std::printf("event : %s -> %s\n", source, target);
  }
}

void PrintException(const Exception& e, const char* signature, int line) {
  std::printf(
      "\033[1;31m Exception ID(%d) occured at Component %s @ %s\n, because of %s caught by "
      "%s:%d \033[0m\n",
      e.GetType(), e.GetName(), e.GetFunction().c_str(), e.GetMessage(), signature, line);
}

void PrintAttributeException(const Exception& e, const char* signature, int line) {
  std::printf("\033[1;31m Exception ID(%llu) -> %s\n, %s:%d \033[0m\n", e.GetTypeCode(),
              e.GetMessage(), signature, line);
}

void PrintStandardException(const char* what, const char* signature, int line) {
  std::printf("\033[1;31m Exception -> %s\n, %s:%d \033[0m\n", what, signature, line);
}

}  // namespace failure_report

}  // namespace pga
