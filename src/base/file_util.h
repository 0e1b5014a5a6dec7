#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lingchao {

using Bytes = std::vector<std::uint8_t>;

// Whole content of a file; nullopt when it cannot be read (missing or unreadable).
std::optional<Bytes> ReadFileBytes(const std::filesystem::path& path);

// Up to `length` bytes from `offset`; fewer at the end of the file, nullopt when it cannot be opened.
std::optional<Bytes> ReadFileRange(const std::filesystem::path& path, std::uint64_t offset, std::size_t length);

// Length in bytes, or nullopt when the file does not exist or cannot be examined.
std::optional<std::uint64_t> FileLength(const std::filesystem::path& path);

// Creates the file empty when it is missing; an existing file is left as it is.
bool EnsureFileExists(const std::filesystem::path& path);

// Replaces `target` whole so that a crash at any instant leaves it old or new, never mixed:
// the bytes go to `scratch` (same folder), are flushed to disk, and `scratch` is renamed over `target`.
// On failure `target` is untouched and false is returned.
bool ReplaceFileAtomically(const std::filesystem::path& target, const Bytes& content,
                           const std::filesystem::path& scratch);
bool ReplaceFileAtomically(const std::filesystem::path& target, const Bytes& content);

// Copies a whole file. Without `overwrite` it fails when `to` exists; with it, `to` is replaced atomically.
bool CopyWholeFile(const std::filesystem::path& from, const std::filesystem::path& to, bool overwrite);

// Scratch name beside `target` for an atomic replace.
std::filesystem::path ScratchPathFor(const std::filesystem::path& target);

}  // namespace lingchao
