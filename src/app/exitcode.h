#ifndef EXITCODE_H
#define EXITCODE_H

// What the updater's exit status tells a script. The window keeps its
// older meaning of 1 (a bad command line, or a version query given up)
// beside these.
namespace ExitCode {

// Installed, already up to date, or left to another updater of this installation.
constexpr int Done = 0;
// Cancelled by the user or by SIGINT/SIGTERM; the installation is as before.
constexpr int Canceled = 1;
// The command line, the configuration, the release's verification or
// every mirror failed; nothing of the update stayed installed.
constexpr int Failed = 2;
// The update server did not answer: which version is current is unknown.
constexpr int Unknown = 3;

} // namespace ExitCode

#endif
