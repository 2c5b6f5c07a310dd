// Checks that must run as an ordinary user. Root passes every permission
// check, so when the tests run as root a test of a refusal runs its check as
// an unprivileged account instead, after handing it the files the check
// uses. POSIX only.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>

namespace testsupport {

struct Account {
  uid_t uid;
  gid_t gid;
};

// The account to run as when the tests run as root: "nobody", or user and
// group 65534 (nobody's numbers on Debian) on a system without that entry.
// Nothing when the tests do not run as root.
std::optional<Account> UnprivilegedAccount();

// Gives up the supplementary groups, then the group and the user, for
// `account`. For a child process only: there is no way back. False when the
// system refuses.
bool BecomeAccount(const Account& account);

// Makes `account` the owner of `path` and of everything below it, without
// following links, and leaves every mode as it is. Throws, naming the folder,
// when a folder above `path` does not let every user through, since `account`
// could then not reach `path`.
void HandOver(const std::filesystem::path& path, const Account& account);

// Runs `check` as an ordinary user and returns its result: as root, in a
// child process that becomes UnprivilegedAccount() after `files` was handed
// over to it; otherwise here, directly. Throws when the child cannot be
// started or cannot become the account.
int RunAsOrdinaryUser(const std::filesystem::path& files, const std::function<int()>& check);

}  // namespace testsupport
