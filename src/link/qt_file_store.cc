#include "link/qt_file_store.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
  QSaveFile file(QString::fromStdString(path));
  if (QFileInfo(file.fileName()).isDir()) return "Is a directory";
  if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
  const auto size = static_cast<qint64>(text.size());
  if (file.write(text.data(), size) != size) {
    const std::string error = file.errorString().toStdString();
    file.cancelWriting();
    return error;
  }
  if (!file.commit()) return file.errorString().toStdString();
  return {};
}

}  // namespace veltrane
