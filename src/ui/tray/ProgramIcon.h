#pragma once

#include <QIcon>

#include "CollectorState.h"

// The program's icon in the notification area, drawn at run time: a drop over a small chart,
// coloured after the collection state (grey offline, blue ready, green collecting).
namespace ProgramIcon {

QIcon ForState(CollectionState state);

} // namespace ProgramIcon
