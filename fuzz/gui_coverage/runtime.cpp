// Lab only: never part of the game, the judge or the release. The coverage runtime of the
// fuzz lab's instrumented game (Velk_Game-cov.exe): GCC's -fsanitize-coverage=trace-pc,trace-cmp
// calls these functions from the level sources, and they record edges and comparison operands
// in the section that the GUI fuzzer names (coverage_map.h).
#include <windows.h>

#include <cstdint>

#include "coverage_map.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// Until the fuzzer's section is mapped (or when no fuzzer started the game), a private map.
coverage::Map g_private;
coverage::Map* g_map = &g_private;

std::uint64_t offsetOf(void* address) {
  return reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(&__ImageBase);
}

// Before any window exists: the fuzzer sees the magic once the game's window is up.
__attribute__((constructor)) void attach() {
  wchar_t name[128] = {};
  const DWORD length = GetEnvironmentVariableW(coverage::kSectionVariable, name, 128);
  if (length == 0 || length >= 128) return;
  const HANDLE section = OpenFileMappingW(FILE_MAP_WRITE | FILE_MAP_READ, FALSE, name);
  if (section == nullptr) return;
  void* view = MapViewOfFile(section, FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, sizeof(coverage::Map));
  if (view == nullptr) return;  // the handle stays open with the view for the game's life
  g_map = static_cast<coverage::Map*>(view);
  g_map->pid = GetCurrentProcessId();
  g_map->magic = coverage::kMagic;
}

void compare(void* at, coverage::Kind kind, std::uint8_t size, std::uint64_t a, std::uint64_t b) {
  coverage::compare(*g_map, offsetOf(at), kind, size, a, b);
}

}  // namespace

#define CMP(NAME, TYPE, KIND)                                                       \
  extern "C" void NAME(TYPE a, TYPE b) {                                            \
    compare(__builtin_return_address(0), coverage::Kind::KIND, sizeof(TYPE), a, b); \
  }

extern "C" void __sanitizer_cov_trace_pc() {
  coverage::hit(*g_map, offsetOf(__builtin_return_address(0)));
}

CMP(__sanitizer_cov_trace_cmp1, std::uint8_t, Cmp)
CMP(__sanitizer_cov_trace_cmp2, std::uint16_t, Cmp)
CMP(__sanitizer_cov_trace_cmp4, std::uint32_t, Cmp)
CMP(__sanitizer_cov_trace_cmp8, std::uint64_t, Cmp)
CMP(__sanitizer_cov_trace_const_cmp1, std::uint8_t, ConstCmp)
CMP(__sanitizer_cov_trace_const_cmp2, std::uint16_t, ConstCmp)
CMP(__sanitizer_cov_trace_const_cmp4, std::uint32_t, ConstCmp)
CMP(__sanitizer_cov_trace_const_cmp8, std::uint64_t, ConstCmp)

// cases[0]: the number of cases, cases[1]: the value's bits, then the case values. The value
// against each case, as the switch compares it.
extern "C" void __sanitizer_cov_trace_switch(std::uint64_t value, std::uint64_t* cases) {
  void* at = __builtin_return_address(0);
  const auto size = static_cast<std::uint8_t>(cases[1] / 8);
  for (std::uint64_t i = 0; i < cases[0]; ++i)
    compare(at, coverage::Kind::Switch, size, cases[2 + i], value);
}

// The levels compare no floating-point values; these only complete what GCC may call.
extern "C" void __sanitizer_cov_trace_cmpf(float, float) {}
extern "C" void __sanitizer_cov_trace_cmpd(double, double) {}
