// The lock-state record: the library's lock flags and the save areas that the
// clean-ups of the sync lock, the genlock-mode lock and the video-clock switch
// read, kept in a file so that a later process can undo a lock that an earlier
// one left in force.
//
// The record reads and writes the library's exported globals (synclock.h), so
// a program that uses it links the library flavour it runs on (kova or
// kova_sim) after kova_tool_common.  Nothing here touches a register.
//
// File format (all numbers little-endian): the magic "KOVALOCK", a 16-bit
// format version, a 32-bit payload length, the payload, and a CRC-32 of
// everything before it.  Written to a temporary file in the same directory,
// then renamed over DIR/lock.state; mode 0600.
//
// The record has two parts, each present only while its lock is in force:
// the sync-lock part (flags wSyncLock, wSyncLockGM, wVStandard, wVCRMode and
// the shared save areas wTVReg16, dwTVReg32, bOldRegCrt, b3CE_B0/B1/BA) and
// the video-clock part (wExtClock and bEA..bA6, wE5F0..wE4EC).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kova::tool {

// The record file inside a state directory: DIR/lock.state
std::string lock_state_path(const std::string &dir);

// After a successful sync lock, genlock-mode lock or video-clock switch:
// writes the library's save areas and lock flags to DIR/lock.state (temporary
// file + rename, mode 0600, format version and checksum), creating DIR if
// needed.  When a record already exists it is kept (it holds the pre-lock
// values) and this returns true; a part that the record lacks and this
// process has in force (a video-clock switch over a recorded sync lock, say)
// is added to it.  With no lock flag set there is nothing to record: true,
// nothing written.  An existing record that cannot be read whole is never
// replaced.  On failure returns false with `error` set to a one-line reason;
// the caller prints it as a warning on stderr and carries on.
bool record_lock_state(const std::string &dir, std::string &error);

// Untrusted: a record, or a state directory, that another user owns or that
// group or others can write; Unreadable also covers a link or a non-regular
// file at the record's name.
enum class LockStateLoad { Ok, Missing, Truncated, Corrupt, WrongVersion, Unreadable, Untrusted };

// Reads DIR/lock.state and, only when it is whole and valid, loads it into
// the library's save areas and lock flags (the parts the record holds; the
// globals of a part it lacks are left as they are).  Touches no register.  On
// anything but Ok, `error` is a clear one-line message and nothing is loaded.
LockStateLoad load_lock_state(const std::string &dir, std::string &error);

// Removes the record after the clean-up ran.  False with `error` on failure
// (a record that is already gone is no failure).
bool remove_lock_state(const std::string &dir, std::string &error);

// After a clean-up, when the record may hold more than the lock just undone:
// rewrites the record from the library's flags and save areas as they are now
// (the clean-up has cleared its own flag), or removes it when no lock flag is
// left.  False with `error` on failure.
bool settle_lock_state(const std::string &dir, std::string &error);

// The file's checksum: CRC-32 (reflected, polynomial 0xEDB88320, the one of
// zlib and PNG).
std::uint32_t lock_state_checksum(const unsigned char *data, std::size_t size);

} // namespace kova::tool
