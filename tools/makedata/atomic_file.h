// Whole files or nothing: a file is written to a temporary beside it and
// renamed over it only once every byte is on disk, so that a full disk or a
// failed write leaves the old file (or no file) in place, never a cut one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Replaces path with the bytes. Returns 0, or the errno of the step that
// failed; on failure the target is untouched and the temporary is removed.
// The new file's permissions are 0666 less the umask, as fopen gives.
int writeFileAtomically(const std::string& path, const uint8_t* bytes, size_t size);
inline int writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    return writeFileAtomically(path, bytes.data(), bytes.size());
}
