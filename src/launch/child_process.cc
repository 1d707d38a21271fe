#include "launch/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include <string>
#include <unordered_map>

#include "base/path.h"

namespace qs {
namespace {

constexpr std::string_view kOurPrefix = "QUANTELSPIRE_";

// "NAME=value" entries, one per name, the later value winning in the earlier place.
std::vector<std::string> environment_block(const EnvSnapshot& environment) {
  std::vector<std::string> block;
  std::unordered_map<std::string_view, std::size_t> index;
  for (const auto& [name, value] : environment) {
    std::string entry;
    entry.reserve(name.size() + 1 + value.size());
    entry.append(name).append("=").append(value);
    if (auto [it, inserted] = index.emplace(name, block.size()); !inserted) {
      block[it->second] = std::move(entry);
    } else {
      block.push_back(std::move(entry));
    }
  }
  return block;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  result.reserve(strings.size() + 1);
  for (std::string& s : strings)
    result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

// Owners of the two posix_spawn objects, destroyed on every path.
struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
};
struct SpawnAttributes {
  posix_spawnattr_t attributes;
  SpawnAttributes() { posix_spawnattr_init(&attributes); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

int prepare(SpawnActions& fa, SpawnAttributes& sa, const char* working_directory,
            const sigset_t* signal_mask) {
  posix_spawn_file_actions_t* a = &fa.actions;
  // closefrom first: descriptors we inherited without close-on-exec must not reach the child.
  if (int e = posix_spawn_file_actions_addclosefrom_np(a, 3)) return e;
  if (int e = posix_spawn_file_actions_addopen(a, 0, "/dev/null", O_RDONLY, 0)) return e;
  if (int e = posix_spawn_file_actions_addopen(a, 1, "/dev/null", O_WRONLY, 0)) return e;
  if (int e = posix_spawn_file_actions_adddup2(a, 1, 2)) return e;
  if (int e = posix_spawn_file_actions_addchdir_np(a, working_directory)) return e;

  posix_spawnattr_t* s = &sa.attributes;
  sigset_t defaults;
  sigemptyset(&defaults);
  // The two the launcher ignores for itself (see main).
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  if (int e = posix_spawnattr_setsigdefault(s, &defaults)) return e;
  if (int e = posix_spawnattr_setpgroup(s, 0)) return e;
  short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF;
  if (signal_mask != nullptr) {
    if (int e = posix_spawnattr_setsigmask(s, signal_mask)) return e;
    flags |= POSIX_SPAWN_SETSIGMASK;
  }
  return posix_spawnattr_setflags(s, flags);
}

}  // namespace

ChildSpec make_soffice_spec(std::string_view soffice_program, std::uint16_t uno_port,
                            const EnvSnapshot& env) {
  ChildSpec spec;
  spec.program = soffice_program;
  spec.arguments = {"--accept=socket,host=127.0.0.1,port=" + std::to_string(uno_port) + ";urp;",
                    "--norestore", "--nologo", "--nodefault"};
  for (const auto& entry : env) {
    if (!entry.first.starts_with(kOurPrefix)) spec.environment.push_back(entry);
  }
  return spec;
}

ChildSpec make_bridge_spec(std::string_view python_program, const BridgeSettings& settings,
                           const EnvSnapshot& env) {
  ChildSpec spec;
  spec.program = python_program;
  spec.arguments = {settings.bridge_file};
  for (const auto& entry : env) {
    const std::string& name = entry.first;
    if (name == "PATH" || name == "HOME" || name == "LANG" || name == "LC_ALL") {
      spec.environment.push_back(entry);
    }
  }
  spec.environment.insert(spec.environment.end(),
                          {{"LD_LIBRARY_PATH", "/usr/lib/libreoffice/program"},
                           {"PYTHONPATH", "/usr/lib/python3/dist-packages"},
                           {"QUANTELSPIRE_UNO_PORT", std::to_string(settings.uno_port)},
                           {"QUANTELSPIRE_BRIDGE_PORT", std::to_string(settings.bridge_port)},
                           {"QUANTELSPIRE_TOKEN_PATH", settings.token_path}});
  return spec;
}

[[nodiscard]] std::expected<std::uint32_t, LauncherError::StartFailed> spawn_child(
    const ChildSpec& spec, const sigset_t* signal_mask) {
  const auto failed = [&](int code) {
    return std::unexpected(LauncherError::StartFailed{spec.program, SystemError::from_errno(code)});
  };
  std::vector<std::string> argv_strings{spec.program};
  argv_strings.insert(argv_strings.end(), spec.arguments.begin(), spec.arguments.end());
  std::vector<std::string> env_strings = environment_block(spec.environment);
  // A NUL would silently cut a C string short; refuse instead of running something else.
  for (const auto* list : {&argv_strings, &env_strings}) {
    for (const std::string& s : *list) {
      if (has_nul_byte(s)) return failed(EINVAL);
    }
  }
  if (has_nul_byte(spec.working_directory)) return failed(EINVAL);

  SpawnActions actions;
  SpawnAttributes attributes;
  if (int e = prepare(actions, attributes, spec.working_directory.c_str(), signal_mask))
    return failed(e);
  std::vector<char*> argv = pointers(argv_strings);
  std::vector<char*> envp = pointers(env_strings);
  pid_t pid = 0;
  // glibc's posix_spawn waits until the child has executed the program or failed to, and
  // returns the child's error number in the latter case.
  if (int e = posix_spawn(&pid, spec.program.c_str(), &actions.actions, &attributes.attributes,
                          argv.data(), envp.data())) {
    return failed(e);
  }
  return static_cast<std::uint32_t>(pid);
}

}  // namespace qs
