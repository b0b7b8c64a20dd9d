#pragma once
// The main window with every feature's interface, for tests that reach the
// features' widgets.

#include "app/frmMain.h"
#include "cd/DrivePanel.h"
#include "cd/TrackList.h"
#include "player/Player.h"
#include "rip/RipController.h"
#include "settings/OptionsPanels.h"
#include "settings/SettingsPanel.h"
