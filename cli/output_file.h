// kvctl's output files (settings files from get -o, JSON, the trace): every
// one is written whole beside its target and then moved into place, so a
// failure keeps the old file; paths that would write somewhere unexpected
// are refused with a reason.
//
// Thread contract: plain functions; touch only the file named and its folder.
#pragma once

#include <string>
#include <string_view>

// The folder a file `path` goes into ("." for a bare name; on Windows a
// drive's root keeps its separator, "C:\\").
std::string FolderOfPath(const std::string& path);

// Looks whether `path` can take an output file, before anything is sent to a
// tracker. Refuses (with a reason) a folder that is missing or not writable,
// a target that is a directory, not a regular file or read-only, and a
// symbolic link that another user planted in a shared sticky folder (such as
// /tmp): it is never followed.
bool CheckOutputPath(const std::string& path, std::string& reason);

// Checks the path again and replaces the file's contents in one step; false
// with a reason when the file was not written (the old one is then kept). A
// new file is readable by its owner only (it may hold the GPRS password); a
// file being replaced keeps its own permissions.
bool WriteOutputFile(const std::string& path, std::string_view bytes, std::string& reason);
