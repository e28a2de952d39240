// The command line of cmd_popen split into the words of a program and its
// arguments, the way a POSIX shell splits quoted words, but with nothing
// expanded and no operators: the text is never given to a shell.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::platform {

// Bytes of storage and entries of the word table that split_command_words
// may need for a line of line_length bytes (the table's final null entry
// included).
inline size_t command_word_storage(size_t line_length) {
  return line_length + 1;
}
inline size_t command_word_slots(size_t line_length) {
  return line_length / 2 + 2;
}

// Splits line into words, stored one after another (each zero-terminated)
// in storage, their addresses in words, followed by a null entry.
//
//   - Space, tab and line feed outside quotes separate words.
//   - '...' keeps every character up to the next single quote as it is.
//   - "..." keeps every character up to the next unescaped double quote;
//     inside, a backslash before $ ` " \ stands for that character, a
//     backslash before a line feed removes both, any other backslash stays.
//   - Outside quotes a backslash keeps the next character as it is; a
//     backslash before a line feed removes both; a final backslash stays.
//   - Quoted parts and plain characters next to each other make one word,
//     and '' or "" alone make an empty word.
//   - $, `, *, ?, [, ~, #, |, ;, &, <, >, ( and ) are ordinary characters.
//
// Returns the number of words, or -1 when a quote is not closed.
int32_t split_command_words(const char *line, char *storage, char **words);

}  // namespace quorvel::platform
