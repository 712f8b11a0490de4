// Why the settings could not be read or saved: one line on stderr naming the
// file and the reason. The same reason is said once a run, so a store that
// cannot be saved does not fill a log with a line every time it is tried.
#pragma once

#include <string>

void complainAboutReading(const std::string& path, const std::string& reason);
// An empty path when there is no file to name.
void complainAboutSaving(const std::string& path, const std::string& reason);
// Lets every reason be said again, for tests that read stderr.
void forgetStoreComplaints();
