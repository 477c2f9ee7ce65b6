// Scans finished while no client is connected, kept in memory for the next client when
// config.ini asks for it ([Tcp] HoldScans=N, HoldSeconds). UI thread only: the thread that
// finishes scans is the one that sends them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

using HeldClock = std::chrono::steady_clock;

constexpr int DefaultHoldSeconds = 60;
// A day's scans of a busy station at most; more would only grow memory.
constexpr int MaxHoldScans = 10000;
constexpr int MaxHoldSeconds = 3600;

// 0 (the default) holds nothing.
extern int holdScans;
extern int holdSeconds;

// Keeps a scan that no client took; at the limit the oldest goes, with a log line.
void HoldScan(uint64_t number, const std::string& payload, HeldClock::time_point now);

// Drops the scans held longer than holdSeconds, each with a log line.
void ExpireHeldScans(HeldClock::time_point now);

// Sends the held scans still in time, oldest first, to the connected client, and logs what
// was delivered; stops at the first that is not taken. True when none is held any more.
bool DeliverHeldScans(HeldClock::time_point now);

size_t HeldScanCount();

// At Quit: the held scans are in memory only; the log says how many are dropped.
void DropHeldScans();
