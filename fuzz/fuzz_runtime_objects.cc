// Feeds arbitrary text to Deserialize of the runtime's objects and events
// and writes each back: no crash, no leak, and a settled round trip.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "runtime/base_object.h"
#include "runtime/event.h"
#include "runtime/exception.h"
#include "runtime/log.h"
#include "runtime/param_associate_a_receiver.h"
#include "runtime/param_associate_a_target.h"
#include "runtime/uid.h"

namespace pga {

namespace {

// Reads `text` into `object` and writes it back as text.
template <typename T>
std::string ReadWrite(T& object, const std::string& text) {
  BlobValue in;
  in.value = const_cast<char*>(text.c_str());
  in.kind = kBlobJson;
  in.size = text.size();
  object.Deserialize(in);
  BlobValue out;
  object.Serialize(out);
  std::string written = out.value != nullptr ? static_cast<const char*>(out.value) : "";
  BaseObject::ReleaseText(out);
  return written;
}

template <typename T>
void Exercise(const std::string& text) {
  fuzz::CheckSettles(text, [](const std::string& input) {
    T object;
    return ReadWrite(object, input);
  });
}

void ExerciseEvent(const std::string& text) {
  fuzz::CheckSettles(text, [](const std::string& input) {
    Event* event = Event::Create(UId(), UId(), 0, 0);
    fuzz::Check(event != nullptr, "no event");
    std::string written = ReadWrite(*event, input);
    delete event;
    return written;
  });
}

}  // namespace

}  // namespace pga

using namespace pga;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CountingAllocator& allocator = fuzz::Allocator();
  if (size == 0) return 0;
  const std::size_t live = allocator.LiveBlocks();
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 8) {
    case 0: Exercise<BaseObject>(text); break;
    case 1: Exercise<UId>(text); break;
    case 2: ExerciseEvent(text); break;
    case 3: Exercise<Exception>(text); break;
    case 4:
      fuzz::CheckSettles(text, [](const std::string& input) {
        Log log("", "", "", "");
        return ReadWrite(log, input);
      });
      break;
    case 5: Exercise<ComponentInterface::ParamAssociateAReceiver>(text); break;
    case 6: Exercise<ComponentInterface::ParamAssociateATarget>(text); break;
    default: {
      // Any text as the name of a new object.
      BaseObject object(text.c_str());
      ReadWrite(object, text);
      break;
    }
  }
  fuzz::Check(allocator.LiveBlocks() == live, "runtime storage leaked");
  fuzz::Check(allocator.BadFrees() == 0, "runtime storage freed twice");
  return 0;
}
