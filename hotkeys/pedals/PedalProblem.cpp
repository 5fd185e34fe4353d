#include "PedalProblem.h"

#include "PedalStream.h"

#include <cerrno>
#include <cstring>

namespace {

QString causeOf(int error) {
  if (error == EBUSY)
    return PedalProblem::tr("他のプログラムが使用中");
  return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString PedalProblem::summary() const {
  switch (kind) {
  case Kind::NoAccess:
    return tr("フットペダルを開けません。udev 規則を入れて挿し直して下さい");
  case Kind::GrabRefused:
    return tr("フットペダルを他のプログラムが使っています");
  case Kind::ReadFailed:
    return tr("フットペダルを読めません");
  case Kind::TooManySwitches:
    return tr("フットペダルのスイッチは %1 個まで使えます").arg(PedalStream::kMaxSwitches);
  }
  return {};
}

QString PedalProblem::details() const {
  switch (kind) {
  case Kind::NoAccess:
    return tr("%1 を読む権限がありません。パッケージの "
              "/usr/lib/udev/rules.d/70-lystrel2-pedals.rules を入れてペダルを挿し直すか、"
              "input グループに入って下さい。")
        .arg(device);
  case Kind::GrabRefused:
    return tr("%1 を占有できません（%2）。そのプログラムが手放せば使えるようになります。").arg(device, causeOf(detail));
  case Kind::ReadFailed:
    return tr("%1 を読めません（%2）。ペダルを挿し直して下さい。").arg(device, causeOf(detail));
  case Kind::TooManySwitches:
    return tr("%1 にはスイッチが %2 個あります。使えるのは最初の %3 個です。")
        .arg(device)
        .arg(detail)
        .arg(PedalStream::kMaxSwitches);
  }
  return {};
}
