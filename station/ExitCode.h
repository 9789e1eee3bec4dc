// How an attempt ends, as the exit statuses of velmora-cli; scripts tell the failures apart by them.
#pragma once

namespace ExitCode {

constexpr int Success = 0;
constexpr int Failed = 1;          // the operation ran and failed (calibration failed)
constexpr int BadArguments = 2;
constexpr int BadPackage = 3;      // package unreadable or invalid
constexpr int NoAnswer = 4;        // no answer from the gimbal or its bootloader, or no such port
constexpr int PackageMismatch = 5; // package does not match the chips
constexpr int WriteFailed = 6;
constexpr int CannotOpen = 7;      // the port exists but cannot be opened (permission, in use)
constexpr int JournalFailed = 8;   // journal: cannot be read, or sync could not send
constexpr int Interrupted = 130;   // ended by SIGINT/SIGTERM before finishing

} // namespace ExitCode
