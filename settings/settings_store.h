// The per-user registry key and one-value-at-a-time access to it. An
// operation opens the key, does its one thing and closes it again, unless a
// key is kept open: loadSettings and saveSettings keep one across all their
// reads or writes, so the store is read once and a save lands whole or not at
// all.
#pragma once

#include <cstddef>

#include "platform/base_types.h"

// What a failed DWORD read gives. A value stored as -2 reads the same.
constexpr LONG NOT_FOUND = -2;

constexpr std::size_t KEY_PATH_BYTES = 100;

extern char keyPath[KEY_PATH_BYTES];

void buildKeyPath(const char* product, const char* version);
LONG readDword(const char* name);
void writeDword(const char* name, LONG value);
bool readBytes(const char* name, void* buffer, DWORD size);
void writeBytes(const char* name, const void* data, DWORD size);

// Until closeKeptKey, reads (or writes) go through one key opened here. When
// it cannot be opened they fail as they would one by one.
void keepKeyOpenForReading();
void keepKeyOpenForWriting();
void closeKeptKey();
