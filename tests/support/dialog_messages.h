// Stands in for the main dialog in tests: collects what LogLine and SetTcpStatus post.
#pragma once

#include <chrono>
#include <string>
#include <vector>

// Sets MainDialogHandle to a collector (a message-only window on Windows).
void StartCollectingDialogMessages();
void StopCollectingDialogMessages();
void ClearCollectedDialogMessages();

// Whole lines as posted, time prefix included.
std::vector<std::wstring> PostedLogLines();
// The texts after the "[hh:mm:ss] " prefix.
std::vector<std::wstring> LoggedTexts();
std::vector<int> ReportedStatuses();
// The numbers the capture thread posted as the scanner's, in order (0: it went away).
std::vector<int> ScannerMoves();
// How many times the capture thread woke the dialog for its key queue.
size_t KeyQueueWakeUps();
// How many times log lines woke the dialog.
size_t LogWakeUps();

// Waits until the text has been logged the given number of times.
bool WaitForLoggedText(const std::wstring& text, size_t times = 1,
                       std::chrono::milliseconds limit = std::chrono::seconds(30));
bool WaitForStatus(int status, std::chrono::milliseconds limit = std::chrono::seconds(30));
// While on, every post to the dialog fails, as when its queue is full; collected messages stay.
void FailDialogPosts(bool fail);
// Lets pending posts arrive: they wait in the collector's queue until then, as in a window's.
void DeliverDialogMessages();
