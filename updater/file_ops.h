#pragma once

#include <string>

namespace ostrum::updater {

// Local dates as "YYYY-MM-DD".
std::string todayString();
std::string yesterdayString();
// The file's last-modified local date; empty when it cannot be read.
std::string fileDateString(const std::string& path);

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// Failures of these are traced and otherwise ignored.
void createFolder(const std::string& path);
void copyFileOver(const std::string& from, const std::string& to);
// Whether the folder holds any file, and deleting them (subfolders stay).
bool hasFiles(const std::string& folder);
void deleteFiles(const std::string& folder);

} // namespace ostrum::updater
