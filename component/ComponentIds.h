// Identity of the stand-in PDF component, shared by the server and whoever checks its registration.
#pragma once

namespace component {

inline constexpr char kClsid[] = "{5B0C1E3A-8F2D-4C71-9A6E-2D4F7B81C3E9}";
inline constexpr char kProgId[] = "Quorvel.PdfSplitMerge.1";
inline constexpr char kDescription[] = "PDF split and merge component";
inline constexpr char kCompanionName[] = "dorove.dll";
inline constexpr char kCompanionExport[] = "DoroveVersion";
// Tests and benchmarks only: milliseconds that registration waits before it starts.
inline constexpr char kRegisterDelayVariable[] = "COMPONENT_REGISTER_DELAY_MS";

}  // namespace component
