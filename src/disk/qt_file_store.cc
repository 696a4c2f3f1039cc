#include "disk/qt_file_store.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace veltrane {

FileReadResult QtFileStore::Read(const std::string& path, std::size_t max_bytes) {
  FileReadResult result;
  QFile file(QString::fromStdString(path));
  if (QFileInfo(file).isDir()) {
    result.error = "Is a directory";
    return result;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    result.error = file.errorString().toStdString();
    return result;
  }
  // One byte more than allowed tells a file that is too large without reading it all.
  const QByteArray bytes = file.read(static_cast<qint64>(max_bytes) + 1);
  if (file.error() != QFileDevice::NoError) {
    result.error = file.errorString().toStdString();
    return result;
  }
  if (static_cast<std::size_t>(bytes.size()) > max_bytes) {
    result.status = FileReadResult::Status::kTooLarge;
    return result;
  }
  result.status = FileReadResult::Status::kOk;
  result.text = bytes.toStdString();
  return result;
}

std::string QtFileStore::WriteAtomically(const std::string& path, std::string_view text) {
  const QFileInfo target(QString::fromStdString(path));
  if (target.isDir()) return "Is a directory";
  // A device or a pipe is no place for a preset: renaming the temporary file over it would
  // destroy the node, and writing into it would be swallowed or refused.
  if (target.exists() && !target.isFile()) return "Not a regular file";
  QSaveFile file(target.filePath());
  if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
  const auto size = static_cast<qint64>(text.size());
  // A small file is written to the disk only when the buffer is flushed, and commit() does
  // not report a flush that failed (a full disk): it would rename the short file over the
  // earlier one. So flush here, where a failure can still cancel the rename.
  errno = 0;
  if (file.write(text.data(), size) != size || !file.flush()) {
    // Qt says "Unknown error" for a flush that failed; the system's reason is in errno.
    const std::string error = errno != 0 ? std::strerror(errno) : file.errorString().toStdString();
    file.cancelWriting();
    return error;
  }
  if (!file.commit()) return file.errorString().toStdString();
  if (QFileInfo(target.filePath()).size() != size) return "The saved file is incomplete";
  return {};
}

}  // namespace veltrane
