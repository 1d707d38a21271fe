#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace qs::test {

// An ordinary account that exists on Debian: permission checks bite for it, unlike for root.
inline constexpr uid_t kNobody = 65534;
inline constexpr uid_t kOtherUid = 4242;  // an owner for files that belong to someone else

bool running_as_root();

// Makes every user and group id of this process `uid`, without supplementary groups.
bool become(uid_t uid);

// Runs `body` in a forked child whose user and group ids are all `uid`, and returns what the
// body returned (or a description of what went wrong in the child).
std::string as_user(uid_t uid, const std::function<std::string()>& body);

}  // namespace qs::test
