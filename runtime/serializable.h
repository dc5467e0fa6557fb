// Serializable: objects that keep themselves in step with an attribute file
// (Component::PrepareAttributes(Serializable*, const String&)). The file
// reading and the safe file replacement are shared by every Serializable;
// the parsing, serialising and writing are virtual so that a derived
// object decides its own form.
//
// The defaults treat the object as a JSON object kept as text: ParseText
// takes any JSON object, SerializeText writes it back with "Version" as its
// first member, and WriteFile replaces the file safely.
#ifndef PGA_RUNTIME_SERIALIZABLE_H_
#define PGA_RUNTIME_SERIALIZABLE_H_

#include <string>

#include "runtime/platform_string.h"

namespace pga {

class Serializable {
 public:
  Serializable() = default;
  Serializable(const Serializable&) = default;
  Serializable& operator=(const Serializable&) = default;
  virtual ~Serializable() = default;

  // Reads the whole file at `path` (binary) into `out` and returns true. When
  // the file cannot be opened or read, prints the file-open error line and
  // returns false; `out` is then unchanged.
  static bool ReadFile(const std::string& path, std::string& out);

  // Replaces the file at `path` with `text` so that, whatever happens (the
  // process dies, the disk fills), the file holds either its old content or
  // the whole new text: writes a temporary file in the same folder, syncs
  // it, renames it over `path` and syncs the folder. An existing file keeps
  // its permission bits. Returns false, leaving the old file and no
  // temporary file behind, when the folder or an existing file is not
  // writable or a write fails. Prints nothing.
  static bool ReplaceFile(const std::string& path, const std::string& text);

  // Takes `text`, read from an attribute file, as this object's content;
  // `context` is what the preparing component passes on. False when the text
  // is refused. Default: accepts a JSON object (kept as compact text),
  // refuses anything else and then keeps the previous content.
  virtual bool ParseText(const std::string& text, const Platform_Std_Refine::String& context);

  // Writes this object into `out` as the text of an attribute file of
  // version `version`. False when it cannot. Default: the kept JSON object
  // with "Version" set to `version` as its first member (so that
  // Component::ReadVersion finds it), {"Version":...} when nothing was kept.
  virtual bool SerializeText(const Platform_Std_Refine::String& context, const std::string& version,
                             std::string& out) const;

  // Writes `text` as the file at `path`. Default: ReplaceFile.
  virtual bool WriteFile(const std::string& path, const std::string& text);

  // The content kept by the default ParseText, as compact JSON; empty until
  // a text was accepted.
  const std::string& GetKeptText() const { return kept_text_; }

 private:
  std::string kept_text_;
};

}  // namespace pga

#endif  // PGA_RUNTIME_SERIALIZABLE_H_
