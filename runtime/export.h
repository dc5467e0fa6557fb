// Marks the declarations that a host compiled separately shares with the
// plug-in: the exported entry points, and the classes whose type identity
// (exceptions caught by the host, payload records checked by the plug-in)
// must match on both sides of the dlopen boundary.
#ifndef PGA_RUNTIME_EXPORT_H_
#define PGA_RUNTIME_EXPORT_H_

#define PGA_API __attribute__((visibility("default")))

#endif  // PGA_RUNTIME_EXPORT_H_
