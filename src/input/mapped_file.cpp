#include "input/mapped_file.h"

#include <new>

#include "platform/private_file_view.h"

Status OpenMappedFile(const std::string& path, MappedFile** out) {
  if (out == nullptr || path.empty()) return E_UNEXPECTED;
  *out = nullptr;
  FileView view;
  if (const Status status = OpenPrivateFileView(path.c_str(), &view); status != S_OK) return status;
  MappedFile* file = new (std::nothrow) MappedFile;
  if (file == nullptr) {
    ReleaseFileView(view);
    return E_OUTOFMEMORY;
  }
  file->path = path;
  file->size = view.size;
  file->view = view.bytes;
  file->viewInOwnMapping = view.inOwnMapping;
  *out = file;
  return S_OK;
}

void AddMappedFileReference(MappedFile* file) { file->refCount.fetch_add(1); }

int32_t ReleaseMappedFile(MappedFile* file) {
  const int32_t remaining = file->refCount.fetch_sub(1) - 1;
  if (remaining != 0) return remaining;
  ReleaseFileView(FileView{file->view, file->size, file->viewInOwnMapping});
  delete file;
  return 0;
}
