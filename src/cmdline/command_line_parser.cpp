#include "cmdline/command_line_parser.h"

#include <new>

#include "input/mapped_file.h"
#include "platform/full_path.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

void SplitLine(std::string_view line, std::vector<std::string>* arguments) {
  size_t position = 0;
  while (position < line.size()) {
    while (position < line.size() && IsBlank(line[position])) ++position;
    if (position == line.size()) break;
    std::string argument;
    bool insideQuotes = false;
    for (; position < line.size(); ++position) {
      const char c = line[position];
      if (c == '\t' || (c == ' ' && !insideQuotes)) break;
      // Every quote toggles the quoted state and marks the argument as
      // quoted, and a quoted argument loses all its quotes: so no quote ever
      // reaches an argument.
      if (c == '"') {
        insideQuotes = !insideQuotes;
        continue;
      }
      argument += c;
    }
    arguments->push_back(std::move(argument));
  }
}

}  // namespace

void SplitResponseText(std::string_view text, std::vector<std::string>* arguments) {
  size_t position = 0;
  while (position < text.size()) {
    while (position < text.size() && IsLineEnd(text[position])) ++position;
    const size_t start = position;
    while (position < text.size() && !IsLineEnd(text[position])) ++position;
    SplitLine(text.substr(start, position - start), arguments);
  }
}

Status ResponseFileArgs::ReadResponseFile(std::string_view path) {
  const std::string fullPath = ResolveFullPath(path);
  MappedFile* file = nullptr;
  if (const Status status = OpenMappedFile(fullPath, &file); status != S_OK) return status;
  SplitResponseText(std::string_view(reinterpret_cast<const char*>(file->view), file->size), &items);
  ReleaseMappedFile(file);
  return S_OK;
}

void ResponseFileArgs::Clear() {
  items.clear();
  items.shrink_to_fit();
}

CommandLineParser::~CommandLineParser() {
  if (!responseFiles_) return;
  for (int32_t i = 0; i < argCount_; ++i) delete responseFiles_[static_cast<size_t>(i)];
}

Status CommandLineParser::Init(int argc, const char* const* argv) {
  if (argc < 1 || argv == nullptr || argv[0] == nullptr) return kParserBadArguments;
  argCount_ = argc;
  arguments_ = argv;
  responseFiles_.reset(new (std::nothrow) ResponseFileArgs*[static_cast<size_t>(argc)]());
  if (!responseFiles_) return kParserNoMemoryForTable;
  for (int32_t i = 0; i < argc; ++i) {
    if (argv[i][0] != '@') continue;
    ResponseFileArgs* file = new (std::nothrow) ResponseFileArgs;
    if (file == nullptr) return kParserNoMemoryForResponseFile;
    if (const Status status = file->ReadResponseFile(argv[i] + 1); status != S_OK) {
      file->Clear();
      delete file;
      return status;
    }
    responseFiles_[static_cast<size_t>(i)] = file;
  }
  Reset();
  return S_OK;
}

bool CommandLineParser::IsEmptyResponseFile(int32_t index) const {
  const ResponseFileArgs* file = responseFiles_[static_cast<size_t>(index)];
  return file != nullptr && file->count() == 0;
}

void CommandLineParser::SkipEmptyResponseFiles() {
  while (position_ < argCount_ && IsEmptyResponseFile(position_)) ++position_;
}

void CommandLineParser::Reset() {
  if (!responseFiles_) return;
  for (int32_t i = 0; i < argCount_; ++i) {
    if (ResponseFileArgs* file = responseFiles_[static_cast<size_t>(i)]; file != nullptr) file->cursor = 0;
  }
  position_ = 0;
  SkipEmptyResponseFiles();
}

void CommandLineParser::Advance() {
  if (!responseFiles_ || position_ == argCount_) return;
  if (ResponseFileArgs* file = responseFiles_[static_cast<size_t>(position_)]; file != nullptr) {
    if (++file->cursor < file->count()) return;
  }
  ++position_;
  SkipEmptyResponseFiles();
}

std::string_view CommandLineParser::Current() const {
  if (!responseFiles_ || position_ == argCount_) return std::string_view();
  if (const ResponseFileArgs* file = responseFiles_[static_cast<size_t>(position_)]; file != nullptr) {
    return file->items[static_cast<size_t>(file->cursor)];
  }
  return arguments_[position_];
}

bool CommandLineParser::HasMore() const { return responseFiles_ && position_ != argCount_; }
