#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Replaces a file's contents so that a failure, a full disk included, leaves the earlier file
// whole: written beside its final name and renamed over the earlier one only once complete and on
// disk, keeping the earlier file's mode and, where allowed, its owner; a symbolic link is followed
// and its target replaced so; a file with other hard links, or in a directory that takes no new
// file, is overwritten in place and put back as it was should that fail. An earlier file the user
// may not write is left alone. False when the new contents are not in place.
bool ReplaceFileCarefully(const std::string& path, std::string_view bytes);

// Test hook: makes every write fail once this many bytes of the file have been written.
void SetCarefulReplaceWriteLimitForTesting(std::optional<std::size_t> bytes);
