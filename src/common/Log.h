#pragma once
// The program's log, "log.txt" in the program directory. Every line is
// "<local date and time> - <message>", written whole from any thread, copied
// to standard error, and appended (an existing log is never truncated).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include <system_error>

// Makes the program directory current, (re)opens "log.txt" there for appending
// and writes any notes that were queued before the log could be opened.
void LogOpen();
// One line; CR LF pairs and lone LFs in the message become single spaces. A
// message equal to the one before is not written again: the next other
// message (or closing the log) first writes how many times it repeated.
void Log(const std::string& message);
// The message `times` times over, as Log would write it that often: once,
// then the count of repeats. Nothing when times is 0.
void LogRepeated(const std::string& message, size_t times);
// One line holding the operating system's text for this thread's errno.
void LogLastError();
// One line holding the operating system's text for a given error.
void LogError(const std::error_code& error);
void LogClose();

// The lines written since a mark (the newest 200 at most), as they stand in
// the file: what a failed command shows the user, and the window's log view.
uint64_t LogMark();
std::vector<std::string> LogLinesSince(uint64_t mark);

// Keeps a message until the log is opened (used before LogOpen has run).
void LogDeferred(const std::string& message);
// The message as it is written after the time: line breaks folded to spaces,
// other control characters and bytes that are no UTF-8 as \xHH.
std::string FoldLogMessage(const std::string& message);
