// Visibility of the library's symbols. Everything is hidden except the two
// entry points: a host compiled separately has its own copy of the runtime
// and record classes, and objects cross the dlopen boundary through their
// vtables, while type checks and exceptions match by type name.
#ifndef PGA_RUNTIME_EXPORT_H_
#define PGA_RUNTIME_EXPORT_H_

// Marks the plug-in's exported entry points.
#define PGA_ENTRY_POINT __attribute__((visibility("default")))

// Marks classes shared with hosts. Kept hidden on purpose: exporting them
// would let the host's copies interpose the plug-in's (its static allocator
// reference among them).
#define PGA_API

#endif  // PGA_RUNTIME_EXPORT_H_
