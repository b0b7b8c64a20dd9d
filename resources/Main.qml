// The window's face. Every user action goes to the program as
// flash.fscommand(name, argument); the program's answers arrive in _root.
// The program lays its panels over the right-hand area: the track list at
// 180,230 (507 x 300) and the settings panels at 180,160 (about 510 x 353);
// what is drawn there shows only while no panel covers it.
import QtQuick

Rectangle {
    id: scene
    width: 700
    height: 600
    focus: true

    readonly property color accent: "#e0a84e"
    readonly property color textMain: "#eef0f3"
    readonly property color textDim: "#8b93a1"
    readonly property color card: "#1b2028"
    readonly property color line: "#2a313c"
    readonly property string fontFamily: "DejaVu Sans"

    // The view the user last chose: home, tracks, drive, format or general.
    property string view: "home"
    // What the last change of status said about the disc.
    property bool discReady: false
    readonly property bool locked: _root.lock === "1"
    readonly property bool settingsView: view === "drive" || view === "format" || view === "general"
    // A track is playing or paused: the status card shows it.
    readonly property bool playing: _root.PlayState === "playing"
    readonly property bool trackShown: playing || _root.PlayState === "paused"

    function send(command) { flash.fscommand(command, "") }
    function enabledFlag(value) { return value === "1" }

    gradient: Gradient {
        GradientStop { position: 0.0; color: "#1c2129" }
        GradientStop { position: 1.0; color: "#101318" }
    }

    // The program sets these flags to "1" after the values they announce;
    // the scene takes note of every "1" it is sent, also one that follows
    // another before the scene cleared it, and clears them.
    Connections {
        target: flash
        function onVariableSent(name, value) {
            if (value !== "1")
                return
            if (name === "ChangeStatus") {
                scene.discReady = _root.PlayEnabled === "1"
                Qt.callLater(() => { _root.ChangeStatus = "0" })
            } else if (name === "lockFlag") {
                toast.show(_root.lock === "1" ? "Door locked" : "Door unlocked", _root.lock === "1" ? "lock" : "unlock")
                Qt.callLater(() => { _root.lockFlag = "0" })
            }
        }
    }

    // Keys work while the window's face has the focus (click an empty spot).
    Keys.onPressed: (event) => {
        const keys = {}
        keys[Qt.Key_Space] = ["IDC_FS_Play", _root.PlayEnabled]
        keys[Qt.Key_P] = ["IDC_FS_Pause", _root.PauseEnabled]
        keys[Qt.Key_S] = ["IDC_FS_Stop", _root.StopEnabled]
        keys[Qt.Key_Left] = ["IDC_FS_Previous", _root.PreviousEnabled]
        keys[Qt.Key_Right] = ["IDC_FS_Next", _root.NextEnabled]
        keys[Qt.Key_Home] = ["IDC_FS_Begin", _root.BeginEnabled]
        keys[Qt.Key_End] = ["IDC_FS_End", _root.EndEnabled]
        keys[Qt.Key_E] = ["IDC_FS_OpenFiles", "1"]
        keys[Qt.Key_L] = ["IDC_FS_unlock", "1"]
        keys[Qt.Key_F1] = ["IDC_FS_Help", "1"]
        keys[Qt.Key_Escape] = ["IDC_FS_Extract", "1"]
        const entry = keys[event.key]
        if (entry === undefined || event.modifiers & (Qt.ControlModifier | Qt.AltModifier))
            return
        event.accepted = true
        if (entry[0] === "IDC_FS_Extract")
            scene.view = "home"
        if (scene.enabledFlag(entry[1]))
            scene.send(entry[0])
    }

    // ---- Title area: the name, the version, help, settings, minimise, close.
    Rectangle {
        id: titleBar
        objectName: "titleBar"
        anchors { left: parent.left; right: parent.right; top: parent.top }
        height: 56
        color: "#0d1014"

        MouseArea {
            objectName: "dragArea"
            anchors.fill: parent
            onPressed: { scene.forceActiveFocus(); scene.send("IDC_FS_Drag") }
        }

        // The mark: a disc with a quill stroke across it.
        Item {
            id: logo
            x: 18; y: 12; width: 32; height: 32
            Rectangle { anchors.fill: parent; radius: 16; color: "#2a313c"; border.color: scene.accent; border.width: 2 }
            Rectangle { anchors.centerIn: parent; width: 10; height: 10; radius: 5; color: "#0d1014"; border.color: scene.accent; border.width: 1 }
            Rectangle { x: 17; y: 2; width: 3; height: 24; radius: 1.5; color: scene.textMain; rotation: 35 }
        }
        Text {
            objectName: "appName"
            anchors { left: logo.right; leftMargin: 12; verticalCenter: parent.verticalCenter; verticalCenterOffset: -8 }
            text: "Quillmere"
            color: scene.textMain
            font { pixelSize: 19; bold: true; family: scene.fontFamily }
        }
        Text {
            objectName: "versionText"
            anchors { left: logo.right; leftMargin: 12; verticalCenter: parent.verticalCenter; verticalCenterOffset: 11 }
            text: _root.VersionNo === "" ? "Audio CD player and ripper" : "Audio CD player and ripper  \u00b7  version " + _root.VersionNo
            color: scene.textDim
            font { pixelSize: 11; family: scene.fontFamily }
        }

        Row {
            anchors { right: parent.right; rightMargin: 12; verticalCenter: parent.verticalCenter }
            spacing: 4
            SceneButton { objectName: "helpButton"; tip: "Help"; commands: ["IDC_FS_Help"]; icon: "help"; width: 34; height: 34 }
            SceneButton {
                objectName: "settingsButton"; tip: "Settings"; commands: ["IDC_FS_Hide", "IDC_FS_ShowSettings"]; icon: "gear"
                width: 34; height: 34; onClicked: scene.view = "general"
            }
            Item { width: 8; height: 1 }
            SceneButton { objectName: "minimizeButton"; tip: "Minimize"; commands: ["IDC_FS_Minimize"]; icon: "minimize"; width: 34; height: 34 }
            SceneButton { objectName: "closeButton"; tip: "Close"; commands: ["IDC_FS_Close"]; icon: "close"; width: 34; height: 34; hoverColor: "#b3413a" }
        }
        Rectangle { anchors { left: parent.left; right: parent.right; bottom: parent.bottom } height: 1; color: scene.line }
    }

    // ---- Side bar: where to go, the drive's door, and the extract button.
    Rectangle {
        id: sideBar
        x: 0; y: titleBar.height; width: 170; height: scene.height - titleBar.height
        color: "#12151a"
        Rectangle { anchors { right: parent.right; top: parent.top; bottom: parent.bottom } width: 1; color: scene.line }

        Column {
            x: 10; y: 14; width: parent.width - 20
            spacing: 4
            SideLabel { text: "VIEW" }
            SceneButton {
                objectName: "tabHome"; kind: "tab"; icon: "home"; text: "Home"; width: parent.width
                commands: ["IDC_FS_Hide"]; active: scene.view === "home"; onClicked: scene.view = "home"
            }
            SceneButton {
                objectName: "tabTracks"; kind: "tab"; icon: "tracks"; text: "Tracks"; width: parent.width
                commands: ["IDC_FS_Hide", "IDC_FS_ShowExtract"]; active: scene.view === "tracks"; onClicked: scene.view = "tracks"
            }
            SceneButton {
                objectName: "tabDrive"; kind: "tab"; icon: "disc"; text: "CD Drive"; width: parent.width
                commands: ["IDC_FS_Hide", "IDC_FS_CD Drive"]; active: scene.view === "drive"; onClicked: scene.view = "drive"
            }
            SceneButton {
                objectName: "tabFormat"; kind: "tab"; icon: "format"; text: "Output format"; width: parent.width
                commands: ["IDC_FS_Hide", "IDC_FS_output format"]; active: scene.view === "format"; onClicked: scene.view = "format"
            }
            SceneButton {
                objectName: "tabGeneral"; kind: "tab"; icon: "sliders"; text: "General"; width: parent.width
                commands: ["IDC_FS_Hide", "IDC_FS_General"]; active: scene.view === "general"; onClicked: scene.view = "general"
            }
            Item { width: 1; height: 14 }
            SideLabel { text: "DISC DRIVE" }
            SceneButton {
                objectName: "doorButton"; kind: "tab"; icon: "eject"; text: "Open / close"; width: parent.width
                commands: ["IDC_FS_OpenFiles"]
            }
            SceneButton {
                objectName: "lockButton"; kind: "tab"; width: parent.width
                icon: scene.locked ? "lock" : "unlock"
                text: scene.locked ? "Door locked" : "Door unlocked"
                active: scene.locked
                commands: [scene.locked ? "IDC_FS_Unlock" : "IDC_FS_lock"]
            }
        }

        SceneButton {
            objectName: "extractButton"; kind: "accent"; icon: "extract"; text: "Extract"
            x: 10; width: parent.width - 20; height: 48
            anchors { bottom: parent.bottom; bottomMargin: 14 }
            commands: ["IDC_FS_ExtractBtn"]
        }
    }

    component SideLabel: Text {
        leftPadding: 8; topPadding: 4; bottomPadding: 4
        color: "#5f6775"
        font { family: scene.fontFamily; pixelSize: 10; bold: true; letterSpacing: 1.2 }
    }

    // ---- Transport: the disc's status and the player's buttons.
    Rectangle {
        id: transport
        x: 180; y: 66; width: 510; height: 84
        radius: 10
        color: scene.card
        border.color: scene.line

        Row {
            x: 16; anchors.verticalCenter: parent.verticalCenter
            spacing: 12
            SceneIcon { name: "disc"; width: 30; height: 30; color: scene.discReady ? scene.accent : scene.textDim; anchors.verticalCenter: parent.verticalCenter }
            Column {
                anchors.verticalCenter: parent.verticalCenter
                spacing: 3
                Text {
                    objectName: "discStatus"
                    text: scene.trackShown ? _root.NowPlaying : scene.discReady ? "Disc ready" : "No disc"
                    color: scene.textMain
                    width: 126 // up to the buttons, which start 192 in
                    elide: Text.ElideRight
                    font { family: scene.fontFamily; pixelSize: 14; bold: true }
                }
                Text {
                    objectName: "discDetail"
                    text: scene.trackShown ? _root.Elapsed + " / " + _root.Duration + (scene.playing ? "" : "  \u00b7  paused")
                          : scene.discReady ? (scene.locked ? "Door locked" : "Press play to start") : "Insert an audio CD"
                    color: scene.textDim
                    font { family: scene.fontFamily; pixelSize: 11 }
                }
            }
        }

        Row {
            anchors { right: parent.right; rightMargin: 14; verticalCenter: parent.verticalCenter }
            spacing: 6
            SceneButton { objectName: "beginButton"; tip: "First track"; kind: "round"; icon: "begin"; iconSize: 16; width: 36; height: 36; anchors.verticalCenter: parent.verticalCenter; commands: ["IDC_FS_Begin"]; enabled: scene.enabledFlag(_root.BeginEnabled) }
            SceneButton { objectName: "previousButton"; tip: "Previous track"; kind: "round"; icon: "previous"; iconSize: 16; width: 36; height: 36; anchors.verticalCenter: parent.verticalCenter; commands: ["IDC_FS_Previous"]; enabled: scene.enabledFlag(_root.PreviousEnabled) }
            // Pause while a track plays, Play otherwise.
            SceneButton { objectName: "playButton"; tip: scene.playing ? "Pause" : "Play"; kind: "round"; big: true; icon: scene.playing ? "pause" : "play"; iconSize: 22; width: 52; height: 52; anchors.verticalCenter: parent.verticalCenter; commands: [scene.playing ? "IDC_FS_Pause" : "IDC_FS_Play"]; enabled: scene.enabledFlag(scene.playing ? _root.PauseEnabled : _root.PlayEnabled) }
            SceneButton { objectName: "pauseButton"; tip: "Pause"; kind: "round"; icon: "pause"; iconSize: 16; width: 36; height: 36; anchors.verticalCenter: parent.verticalCenter; commands: ["IDC_FS_Pause"]; enabled: scene.enabledFlag(_root.PauseEnabled) }
            SceneButton { objectName: "stopButton"; tip: "Stop"; kind: "round"; icon: "stop"; iconSize: 16; width: 36; height: 36; anchors.verticalCenter: parent.verticalCenter; commands: ["IDC_FS_Stop"]; enabled: scene.enabledFlag(_root.StopEnabled) }
            SceneButton { objectName: "nextButton"; tip: "Next track"; kind: "round"; icon: "next"; iconSize: 16; width: 36; height: 36; anchors.verticalCenter: parent.verticalCenter; commands: ["IDC_FS_Next"]; enabled: scene.enabledFlag(_root.NextEnabled) }
            SceneButton { objectName: "endButton"; tip: "Last track"; kind: "round"; icon: "end"; iconSize: 16; width: 36; height: 36; anchors.verticalCenter: parent.verticalCenter; commands: ["IDC_FS_End"]; enabled: scene.enabledFlag(_root.EndEnabled) }
        }
    }

    // ---- Home: shown while no panel lies over the right-hand area.
    Item {
        id: home
        objectName: "homeView"
        x: 180; y: 160; width: 510; height: 426
        visible: scene.view === "home"

        Item {
            id: art
            width: 190; height: 190
            x: 20; anchors.verticalCenter: parent.verticalCenter; anchors.verticalCenterOffset: -20
            Rectangle { anchors.fill: parent; radius: width / 2; color: "#232a34"; border.color: "#323a47"; border.width: 1 }
            Repeater {
                model: 5
                Rectangle {
                    required property int index
                    anchors.centerIn: parent
                    width: 170 - index * 22; height: width; radius: width / 2
                    color: "transparent"; border.width: 1
                    border.color: index === 0 ? Qt.rgba(0.88, 0.66, 0.31, 0.55) : "#2c3440"
                }
            }
            Rectangle { anchors.centerIn: parent; width: 56; height: 56; radius: 28; color: "#1a1f27"; border.color: scene.accent; border.width: 2 }
            Rectangle { anchors.centerIn: parent; width: 14; height: 14; radius: 7; color: "#0d1014" }
            // The release's front cover over the drawing, once one is known.
            Rectangle {
                anchors.fill: parent
                visible: cover.status === Image.Ready
                radius: 6; color: "#232a34"; border.color: "#323a47"; border.width: 1
                Image {
                    id: cover
                    objectName: "coverArt"
                    anchors { fill: parent; margins: 1 }
                    source: _root.CoverArt
                    fillMode: Image.PreserveAspectFit
                    asynchronous: true; cache: false; smooth: true
                    sourceSize { width: 380; height: 380 }
                }
            }
        }

        Column {
            anchors { left: art.right; leftMargin: 28; right: parent.right; rightMargin: 12; verticalCenter: art.verticalCenter }
            spacing: 10
            Text {
                objectName: "homeTitle"
                width: parent.width; wrapMode: Text.WordWrap
                text: scene.discReady ? "Your disc is ready" : "Insert an audio CD"
                color: scene.textMain
                font { family: scene.fontFamily; pixelSize: 22; bold: true }
            }
            Text {
                width: parent.width; wrapMode: Text.WordWrap; lineHeight: 1.25
                text: scene.discReady
                      ? "Open Tracks to check the songs you want, then press Extract. Double-click a track to listen."
                      : "Put a disc in the drive. Choose the drive under CD Drive and the kind of files to make under Output format."
                color: scene.textDim
                font { family: scene.fontFamily; pixelSize: 13 }
            }
            Item { width: 1; height: 6 }
            Row {
                spacing: 10
                SceneButton {
                    objectName: "homeTracksButton"; kind: "accent"; icon: "tracks"; text: "Show tracks"
                    commands: ["IDC_FS_Hide", "IDC_FS_ShowExtract"]; onClicked: scene.view = "tracks"
                }
                SceneButton {
                    objectName: "homeDriveButton"; icon: "disc"; text: "CD Drive"; border.width: 1; border.color: scene.line
                    commands: ["IDC_FS_Hide", "IDC_FS_CD Drive"]; onClicked: scene.view = "drive"
                }
            }
        }
    }

    // ---- Tracks: a heading above the track list.
    Column {
        x: 186; y: 170
        visible: scene.view === "tracks"
        spacing: 4
        Text { text: "Tracks"; color: scene.textMain; font { family: scene.fontFamily; pixelSize: 18; bold: true } }
        Text {
            objectName: "tracksSubtitle"
            text: _root.NowPlaying !== "" ? "Now playing: " + _root.NowPlaying : "On the disc in the drive"
            color: scene.textDim
            font { family: scene.fontFamily; pixelSize: 12 }
        }
    }

    // ---- Below the panels: leave the view, revert or apply the settings.
    Item {
        id: bottomBar
        x: 180; y: 540; width: 510; height: 44
        visible: scene.view !== "home"

        SceneButton {
            objectName: "hidePanelButton"; icon: "hide"; text: "Hide"; height: 36
            anchors { left: parent.left; verticalCenter: parent.verticalCenter }
            commands: ["IDC_FS_Extract"]; onClicked: scene.view = "home"
        }
        Row {
            visible: scene.settingsView
            anchors { right: parent.right; verticalCenter: parent.verticalCenter }
            spacing: 10
            SceneButton {
                objectName: "revertButton"; icon: "revert"; text: "Revert"; height: 36; border.width: 1; border.color: scene.line
                commands: ["IDC_FS_Settings"]
            }
            SceneButton { objectName: "applyButton"; kind: "accent"; icon: "check"; text: "Apply"; height: 36; commands: ["IDC_FS_Apply"] }
        }
    }

    // ---- A short note when the door's lock changes.
    Rectangle {
        id: toast
        objectName: "toast"
        property alias text: toastText.text
        property alias icon: toastIcon.name
        function show(message, iconName) { text = message; icon = iconName; opacity = 1; toastTimer.restart() }
        anchors { horizontalCenter: transport.horizontalCenter; verticalCenter: titleBar.verticalCenter }
        width: toastRow.implicitWidth + 28; height: 32; radius: 16
        color: "#2a313c"; border.color: scene.accent
        opacity: 0
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: 180 } }
        Row {
            id: toastRow
            anchors.centerIn: parent
            spacing: 8
            SceneIcon { id: toastIcon; width: 16; height: 16; color: scene.accent; anchors.verticalCenter: parent.verticalCenter }
            Text { id: toastText; color: scene.textMain; font { family: scene.fontFamily; pixelSize: 12; bold: true } anchors.verticalCenter: parent.verticalCenter }
        }
        Timer { id: toastTimer; interval: 1800; onTriggered: toast.opacity = 0 }
    }
}
