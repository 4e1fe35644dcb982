#pragma once
// Whole small files read from their start and replaced in one step: a save never leaves
// a half-written file where a good one stood.
#include <cstddef>
#include <cstdint>
#include <string>

// Reads up to capacity bytes from the start of the file; count says how many arrived
// (fewer only when the file is shorter). False at once when it cannot be opened or read
// or is no regular file (a FIFO, a device, a directory).
bool ReadFileStart(const std::string& path, uint8_t* buffer, size_t capacity, size_t& count);

enum class ReplaceResult {
    Replaced,
    NotCreated,  // no file could be created beside the target (no directory, no right)
    NotWritten,  // writing or putting the new file in place failed
    Exists,      // the name was taken, perhaps while the new file was written: nothing replaced
};

// The new file is written under a name of its own beside the target,
// "<target>.zantir-<pid>-<n>.tmp", and renamed over the target. A save killed between the
// two leaves that file behind; the next save into the folder removes every one of them
// older than StaleTemporaryAge.
inline constexpr int StaleTemporaryAge = 60;  // s

// Writes a new file beside the target and renames it over the target. Only a regular
// file that may be written, or none, is replaced: anything else is NotCreated. On failure the
// target is left as it was and nothing is left behind.
ReplaceResult ReplaceFile(const std::string& path, const uint8_t* data, size_t size);
// The same for a name that nothing has yet: where anything has it (a file, a folder, a link,
// also one made by another program while the new file was written), nothing is replaced and
// the answer is Exists.
ReplaceResult CreateNewFile(const std::string& path, const uint8_t* data, size_t size);
// Whether anything has the name: a file, a folder, a link, even one that leads nowhere.
bool NameTaken(const std::string& path);

// The platform's part of a save. What it may replace: nothing yet, or a regular file that
// may be written and is not marked read-only.
bool MayReplaceFile(const std::string& target);
// Writes a new file beside target and puts it in target's place in one step; unless replace,
// only where target is not there at that step (else Exists).
ReplaceResult WriteInPlaceOf(const std::string& target, const uint8_t* data, size_t size,
                             bool replace);

// The file a save replaces: a symbolic link's target, so that the link stays.
std::string ResolvedSaveTarget(const std::string& path);
// The name of a save's temporary file beside target, for its attempt-th try.
std::string SaveTemporaryName(const std::string& target, int attempt);
// Whether a file name is one of a save's own temporary files.
bool IsSaveTemporary(const std::string& name);
// Removes the saves' temporary files in the folder last changed StaleTemporaryAge or more
// before now; how many went. Anything else in the folder stays.
int RemoveStaleTemporaries(const std::string& directory);
