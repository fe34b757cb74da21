// Calls an operation of a plug-in's object by its position in the object's interface table, the
// way the host reaches descriptors and filters whose classes it does not know. Windows only.
#pragma once

#include <cstddef>

namespace zavolhost {

// Member functions of the host's compiler take `this` in a register on 32-bit x86 (thiscall);
// on x86-64 there is one convention and `this` is simply the first argument.
#if defined(__i386__)
#define ZAVOLHOST_MEMBER_CALL __attribute__((thiscall))
#else
#define ZAVOLHOST_MEMBER_CALL
#endif

template <typename Result, typename... Args>
Result CallSlot(void* object, std::size_t slot, Args... args) {
  using Function = Result(ZAVOLHOST_MEMBER_CALL*)(void*, Args...);
  Function* table = *static_cast<Function**>(object);
  return table[slot](object, args...);
}

}  // namespace zavolhost
