// The emulator library is opened the first time a routine runs, not when the program starts:
// loading and relocating its 19 MB would cost every `orvo build` and `orvo list` some 18 million
// instructions for a library they never call. These definitions stand in for the library's own
// entry points (the program does not link it) and forward to it once dlopen has found it.

#include <dlfcn.h>
#include <unicorn/unicorn.h>

#include <cstdarg>
#include <cstdint>
#include <string>

namespace {

struct UnicornApi {
  decltype(&uc_open) open = nullptr;
  decltype(&uc_close) close = nullptr;
  decltype(&uc_ctl) ctl = nullptr;
  decltype(&uc_strerror) strerror = nullptr;
  decltype(&uc_reg_write) reg_write = nullptr;
  decltype(&uc_reg_read) reg_read = nullptr;
  decltype(&uc_mem_write) mem_write = nullptr;
  decltype(&uc_mem_read) mem_read = nullptr;
  decltype(&uc_mem_map) mem_map = nullptr;
  decltype(&uc_mem_unmap) mem_unmap = nullptr;
  decltype(&uc_emu_start) emu_start = nullptr;
  decltype(&uc_emu_stop) emu_stop = nullptr;
  decltype(&uc_hook_add) hook_add = nullptr;
  decltype(&uc_hook_del) hook_del = nullptr;
  decltype(&uc_context_alloc) context_alloc = nullptr;
  decltype(&uc_context_save) context_save = nullptr;
  decltype(&uc_context_restore) context_restore = nullptr;
  decltype(&uc_context_free) context_free = nullptr;
};

std::string& Load_Error() {
  static std::string text;
  return text;
}

// Thread-safe: the first caller opens the library, later ones get the same table (or nullptr).
const UnicornApi* Api() {
  static const UnicornApi* const api = []() -> const UnicornApi* {
    void* library = dlopen(ORVO_UNICORN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      const char* why = dlerror();
      Load_Error() = std::string("the emulator library could not be loaded (") + (why ? why : ORVO_UNICORN_LIBRARY) + ")";
      return nullptr;
    }
    static UnicornApi table;
    bool complete = true;
    const auto bind = [&](auto& entry, const char* name) {
      entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(library, name));
      if (entry == nullptr) {
        complete = false;
        Load_Error() = std::string("the emulator library lacks ") + name;
      }
    };
    bind(table.open, "uc_open");
    bind(table.close, "uc_close");
    bind(table.ctl, "uc_ctl");
    bind(table.strerror, "uc_strerror");
    bind(table.reg_write, "uc_reg_write");
    bind(table.reg_read, "uc_reg_read");
    bind(table.mem_write, "uc_mem_write");
    bind(table.mem_read, "uc_mem_read");
    bind(table.mem_map, "uc_mem_map");
    bind(table.mem_unmap, "uc_mem_unmap");
    bind(table.emu_start, "uc_emu_start");
    bind(table.emu_stop, "uc_emu_stop");
    bind(table.hook_add, "uc_hook_add");
    bind(table.hook_del, "uc_hook_del");
    bind(table.context_alloc, "uc_context_alloc");
    bind(table.context_save, "uc_context_save");
    bind(table.context_restore, "uc_context_restore");
    bind(table.context_free, "uc_context_free");
    return complete ? &table : nullptr;
  }();
  return api;
}

// Every call but uc_open and uc_strerror needs an engine, which only uc_open can have made.
const UnicornApi& Loaded() { return *Api(); }

}  // namespace

extern "C" {

uc_err uc_open(uc_arch arch, uc_mode mode, uc_engine** uc) {
  const UnicornApi* api = Api();
  if (api == nullptr) return UC_ERR_HANDLE;
  return api->open(arch, mode, uc);
}

const char* uc_strerror(uc_err code) {
  const UnicornApi* api = Api();
  if (api == nullptr) return Load_Error().c_str();
  return api->strerror(code);
}

uc_err uc_close(uc_engine* uc) { return Loaded().close(uc); }

// The two controls the engine uses, both with two 64-bit arguments (an address and an end
// address or a block pointer); a variadic call cannot be forwarded blindly.
// The library declares the parameter before "..." as an enum; its values fit an int, which is
// what the call passes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wvarargs"
uc_err uc_ctl(uc_engine* uc, uc_control_type control, ...) {
  std::va_list args;
  va_start(args, control);
  uc_err result = UC_ERR_ARG;
  const int type = static_cast<int>(control) & ((1 << 26) - 1);
  if (type == UC_CTL_TB_REMOVE_CACHE) {
    const std::uint64_t begin = va_arg(args, std::uint64_t);
    const std::uint64_t end = va_arg(args, std::uint64_t);
    result = Loaded().ctl(uc, control, begin, end);
  } else if (type == UC_CTL_TB_REQUEST_CACHE) {
    const std::uint64_t address = va_arg(args, std::uint64_t);
    uc_tb* block = va_arg(args, uc_tb*);
    result = Loaded().ctl(uc, control, address, block);
  }
  va_end(args);
  return result;
}
#pragma GCC diagnostic pop

uc_err uc_reg_write(uc_engine* uc, int regid, const void* value) { return Loaded().reg_write(uc, regid, value); }
uc_err uc_reg_read(uc_engine* uc, int regid, void* value) { return Loaded().reg_read(uc, regid, value); }
uc_err uc_mem_write(uc_engine* uc, uint64_t address, const void* bytes, size_t size) {
  return Loaded().mem_write(uc, address, bytes, size);
}
uc_err uc_mem_read(uc_engine* uc, uint64_t address, void* bytes, size_t size) {
  return Loaded().mem_read(uc, address, bytes, size);
}
uc_err uc_mem_map(uc_engine* uc, uint64_t address, size_t size, uint32_t perms) {
  return Loaded().mem_map(uc, address, size, perms);
}
uc_err uc_mem_unmap(uc_engine* uc, uint64_t address, size_t size) { return Loaded().mem_unmap(uc, address, size); }
uc_err uc_emu_start(uc_engine* uc, uint64_t begin, uint64_t until, uint64_t timeout, size_t count) {
  return Loaded().emu_start(uc, begin, until, timeout, count);
}
uc_err uc_emu_stop(uc_engine* uc) { return Loaded().emu_stop(uc); }

// UC_HOOK_INSN takes the instruction's id as its one extra argument; no other hook the engine
// adds takes any.
uc_err uc_hook_add(uc_engine* uc, uc_hook* hh, int type, void* callback, void* user_data, uint64_t begin,
                   uint64_t end, ...) {
  if (type == UC_HOOK_INSN) {
    std::va_list args;
    va_start(args, end);
    const int instruction = va_arg(args, int);
    va_end(args);
    return Loaded().hook_add(uc, hh, type, callback, user_data, begin, end, instruction);
  }
  return Loaded().hook_add(uc, hh, type, callback, user_data, begin, end);
}
uc_err uc_hook_del(uc_engine* uc, uc_hook hh) { return Loaded().hook_del(uc, hh); }
uc_err uc_context_alloc(uc_engine* uc, uc_context** context) { return Loaded().context_alloc(uc, context); }
uc_err uc_context_save(uc_engine* uc, uc_context* context) { return Loaded().context_save(uc, context); }
uc_err uc_context_restore(uc_engine* uc, uc_context* context) { return Loaded().context_restore(uc, context); }
uc_err uc_context_free(uc_context* context) { return Loaded().context_free(context); }

}  // extern "C"
