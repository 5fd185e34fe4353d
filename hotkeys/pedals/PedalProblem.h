// Why a plugged-in pedal cannot be used, or not all of it: said on the key tab.
#pragma once

#include <QCoreApplication>
#include <QString>

struct PedalProblem {
  Q_DECLARE_TR_FUNCTIONS(PedalProblem)
public:
  enum class Kind {
    NoAccess,       // its device file may not be read
    GrabRefused,    // another program holds it; tried again until it lets go
    ReadFailed,     // reading it failed time after time, or it could not be set up
    TooManySwitches // it has more switches than are used
  };
  Kind kind;
  QString device; // its device file
  int detail = 0; // the errno of the failure; for TooManySwitches, how many switches it has

  QString summary() const; // one short line
  QString details() const; // what happened and what to do
};
