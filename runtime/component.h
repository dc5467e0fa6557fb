// Component: the base class of every component of the runtime, the unit
// that the host loads, wires to other components and drives by events. It
// adds to ComponentPart the lifecycle, the default handling of the runtime's
// event types, the association tables and the attribute and protocol tables.
//
// A host compiled separately calls the virtual operations through the
// vtable, so their declaration order below is the binary interface: slots 1
// to 12 are ComponentPart's, 13 to 45 follow in the order declared here.
// Never reorder them, and add new virtual operations only at the end.
#ifndef PGA_RUNTIME_COMPONENT_H_
#define PGA_RUNTIME_COMPONENT_H_

#include <cstdint>
#include <functional>
#include <string>

#include "runtime/attribute_item.h"
#include "runtime/component_interface.h"
#include "runtime/component_part.h"
#include "runtime/event.h"
#include "runtime/event_type.h"
#include "runtime/manifest_instance_description.h"
#include "runtime/map.h"
#include "runtime/platform_string.h"
#include "runtime/uid.h"
#include "runtime/vector.h"

namespace pga {

class Serializable;

class Component : public ComponentPart, public ComponentInterface {
 public:
  using String = Platform_Std_Refine::String;
  using ProtocolHandler = std::function<bool(Map<String, String>*)>;

  // Constructs a component of `type_code` named `class_name`: its own UId
  // (component_id = its instance tag, no queue, named `class_name`), an empty
  // "ReceiversMap" and "TargetMap", all from the runtime allocator; state
  // kStateConstructed; the runtime's event type names registered. When the
  // allocator gives nothing, the UId or a table stays missing, which the
  // association operations report.
  Component(unsigned long long type_code, const char* class_name);
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  // Slot 1: releases the UId, the receivers map, every target vector and the
  // target map through the runtime allocator.
  ~Component() override;
  // Slots 2 and 3: set kStateInitialized / kStateFinalized and answer true;
  // a failure is printed and answered with false, the state unchanged.
  bool Initialize() override;
  bool Finalize() override;
  // Slot 7: calls ComponentPart's.
  void NoOperation() override;
  // Slot 10: forwards `event` to every part of partsMap in key order, then
  // records it for this component. A part that throws is printed, ends the
  // operation (the rest is skipped) and is not passed on.
  void SetSequenceParent(Event* event) override;
  // Slot 12: the default dispatch of the runtime's event types (EEventType).
  // Answers true for every type it handles and never false. Any other type,
  // and a null event, throws Exception kErrorEventNotSupported. Exceptions of
  // the handlers and that one are printed and passed on (an Exception as a
  // copy, a standard exception as std::runtime_error).
  bool ProcessAEvent(Event* event) override;

  // Slots 13 to 18: hooks; empty here. 14, 16 and 17 are never called.
  virtual void OnAttributesDefaulted();
  virtual void UnusedHook1();
  virtual void OnPrepareAttributes();
  virtual void UnusedHook2();
  virtual void UnusedHook3();
  virtual void OnProtocolFileMissing();
  // Slot 19: prints the entry and exit trace lines; derived components
  // enter their protocol commands and handlers here.
  virtual void RegisterProtocolCommands();
  // Slots 20 to 22: attribute file versions and preparation
  // (component_attributes.cc).
  virtual bool ReadVersion(const String& path, String& version);
  virtual void PrepareAttributes();
  virtual void PrepareAttributes(Serializable* target, const String& context);
  // Slot 23: calls Run(). Slot 24: sets kStateRunning.
  virtual void Run(Event* event);
  virtual void Run();
  // Slots 25 and 26: store the host's description of this instance and take
  // its index as instanceIndex.
  virtual void SetInstanceDescription(
      ComponentInterface::ManifestInstanceDescription&& description);
  virtual void SetInstanceDescription(
      const ComponentInterface::ManifestInstanceDescription& description);
  // Slot 27: registers the names of the runtime's event types.
  virtual void RegisterEventTypeNames();
  // Slots 28 to 31: associations (component_associations.cc). The event forms
  // need state kStateAllocated or later (else Exception kErrorNotAllocated)
  // and raise the state to kStateReceiverAssociated / kStateTargetAssociated.
  virtual void AssociateAReceiver(Event* event);
  virtual void AssociateAReceiver(const String& name, UId uid);
  virtual void AssociateATarget(Event* event);
  virtual void AssociateATarget(const String& group, Vector<UId>& uids);
  // Slots 32 to 41: lifecycle. The event forms call the argument-less forms
  // (Start, Stop and RemoteAssociateCompleted only when the event's
  // reply_flag is 0) and print and swallow every exception; Initialize and
  // Finalize then answer false. The argument-less forms set the state;
  // derived components override them to do their work.
  virtual bool Initialize(Event* event);
  virtual bool Finalize(Event* event);
  virtual void Start(Event* event);
  virtual void Start();
  virtual void Stop(Event* event);
  virtual void Stop();
  virtual void Pause(Event* event);
  virtual void Pause();
  virtual void RemoteAssociateCompleted(Event* event);
  virtual void RemoteAssociateCompleted();
  // Slots 42 to 45: de-associations (component_associations.cc). The event
  // forms take the departing ComponentPart from the event's arguments.
  virtual void DeAssociateAReceiver(const String& name, UId uid);
  virtual void DeAssociateAReceiver(Event* event);
  virtual void DeAssociateATarget(const String& group, Vector<UId>& uids);
  virtual void DeAssociateATarget(Event* event);

  const ComponentInterface::ManifestInstanceDescription& GetInstanceDescription() const {
    return instanceDescription;
  }
  int GetInstanceIndex() const { return instanceIndex; }

  // Attribute files (component_attributes.cc). The file names, format and
  // type letters are described in attribute_files.h and attribute_value.h.
  // Failures other than a missing file throw Exception (or a standard
  // exception for bad hexadecimal text) after printing it.

  // Reads the own attribute file (false), or default file 1 and then 2
  // (true), into the attribute map. True when a file was read; false when
  // none could be opened.
  bool ReadAttributes(bool fromDefault);
  // Returns reader(true).
  bool ReadDefaultAttributes(std::function<bool(bool)> reader);
  // Reads the attribute file at `path` into this component's attribute map
  // (`items` and `flag` are not consulted): checks its version against
  // versionMajor/Minor/Patch (another major throws kErrorAttributeMajorVersion)
  // and its "Name" against the class name, then fills the variables and
  // traits of the registered items from the array member `section`. False
  // only when the file cannot be opened. Values stored before a failing
  // entry stay stored.
  bool ReadSettingFile(String path, const char* section, Map<String, AttributeItem>& items,
                       bool flag);
  // Writes the attribute map, with the class name and componentVersion, to
  // the own file (false) or the "ch" default file (true), replacing the file
  // safely. Throws kErrorNoInstanceIndex when instanceIndex is -1, and
  // kErrorAttributeUnbound / kErrorAttributeMismatch for an item that cannot
  // be written; nothing is written then. A file that cannot be written is
  // left as it was, silently.
  void WriteAttributes(bool toDefault);
  // Has `target` serialise itself (with `context` and attributeVersion) and
  // write the text as the own attribute file. Throws kErrorNoInstanceIndex
  // when instanceIndex is -1.
  void WriteAttributes(Serializable* target, const String& context);

  // Protocol command file (component_protocol.cc). Reads
  // <third text><class>_protocol.json into the protocol command map. False
  // only when the file cannot be opened; a defective file throws Exception
  // (kErrorJsonParse, kErrorMalformedFile, kErrorProtocolEntry) after the
  // commands before the defect were entered.
  bool ReadProtocolCommand();
  // Enters "group" (or "group.command" when `command` is not empty) with
  // number `id`, unless that key is present already.
  void RegisterKestrelCommand(const String& group, const String& command, int id);

  const Map<String, AttributeItem>& GetAttributeMap() const { return attributeMap; }
  const Map<String, int>& GetProtocolCommandMap() const { return protocolCommandMap; }
  Map<int, ProtocolHandler>& GetProtocolHandlerMap() { return protocolHandlerMap; }
  // The version text chosen by PrepareAttributes(Serializable*, ...).
  const std::string& GetAttributeVersion() const { return attributeVersion; }

 protected:
  // Enters `part` (not owned; it must outlive this component or be removed
  // first) under `key`; an existing entry of that key is replaced.
  void AddPart(long long key, ComponentPart* part);
  // Removes the part under `key`, if any.
  void RemovePart(long long key);

  // Enters the attribute `key` bound to `variable` (not owned; it must live
  // as long as this component), replacing an earlier item of that key.
  // `variable` must point to exactly the type that `type_code` names (see
  // attribute_value.h), to the first of `count` elements when `count` is
  // above 1; a pointer of another type counts as no variable when the files
  // are read or written. Lists ('v') take sub-type 's'.
  template <typename T>
  void RegisterAttribute(const String& key, int count, char type_code, T* variable,
                         char sub_type_code = 'x') {
    AttributeItem& item = attributeMap[key];
    item = AttributeItem();
    item.count = count;
    item.typeCode = type_code;
    item.subTypeCode = sub_type_code;
    item.variable = variable;
  }
  // Enters an attribute without a variable (type 'm': traits only).
  void RegisterAttribute(const String& key, int count, char type_code) {
    RegisterAttribute(key, count, type_code, static_cast<void*>(nullptr));
  }

  // Child parts by key; not owned.
  Map<long long, ComponentPart*> partsMap;
  // The component's attributes by external key.
  Map<String, AttributeItem> attributeMap;
  // Protocol command path ("group" or "group.command") to command number.
  Map<String, int> protocolCommandMap;
  // Command number to handler.
  Map<int, ProtocolHandler> protocolHandlerMap;
  ComponentInterface::ManifestInstanceDescription instanceDescription;
  // Part of the attribute file names; -1 forbids writing the attribute file.
  int instanceIndex;
  // Version text written into attribute files, and its numbers, compared
  // with the files' versions. A derived component with a version sets both.
  std::string componentVersion;
  unsigned int versionMajor;
  unsigned int versionMinor;
  unsigned int versionPatch;
  // Text after the underscore of the version; printed only.
  std::string versionExtra;
  // Printed when a receiver is de-associated; nothing in the runtime sets it.
  String aliasText;
  // Version text of the attribute data in use.
  std::string attributeVersion;

 private:
  // Sets the monitor flags as the monitor-registration event asks.
  void RegisterMonitor(std::int32_t flags);
  // Prints an Exception caught by ProcessAEvent in its own form.
  void PrintDispatchException(const Exception& e, int line) const;
  // Throws kErrorNotAllocated, after printing the two lines that say so, when
  // the host has not yet set kStateAllocated.
  void CheckAllocated(const char* signature, const char* message) const;
};

}  // namespace pga

#endif  // PGA_RUNTIME_COMPONENT_H_
