// A button of the scene. Clicking it sends its commands to the program, in
// order, then raises clicked(). A disabled button sends nothing.
//   kind "ghost"   : flat, lit on hover (title area, secondary actions)
//   kind "accent"  : the filled amber call to action
//   kind "tab"     : a navigation row with a marker when active
//   kind "round"   : a circular transport button; "big" makes it the main one
// An icon button's tip names it, for the pointer and for screen readers; Tab
// reaches every enabled button, and Space or Enter presses it.
import QtQuick
import QtQuick.Controls

Rectangle {
    id: btn
    property var commands: []
    property string icon
    property string text
    property string tip
    readonly property string name: tip !== "" ? tip : text
    property string kind: "ghost"
    property bool active: false
    property bool big: false
    property color hoverColor: "#2a313c"
    property int iconSize: 18
    signal clicked()

    function activate() {
        if (!enabled)
            return
        for (const command of btn.commands)
            flash.fscommand(command, "")
        btn.clicked()
    }

    activeFocusOnTab: enabled
    Accessible.role: Accessible.Button
    Accessible.name: name
    Accessible.onPressAction: activate()
    Keys.onPressed: (event) => {
        if (event.key === Qt.Key_Space || event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
            event.accepted = true
            activate()
        }
    }
    ToolTip {
        objectName: "tipBox"
        visible: btn.tip !== "" && btn.hovered
        delay: 600
        text: btn.tip
        contentItem: Text { text: btn.tip; color: "#eef0f3"; font { family: "DejaVu Sans"; pixelSize: 11 } }
        background: Rectangle { color: "#0d1014"; border.color: "#465061"; radius: 4 }
    }

    readonly property bool hovered: area.containsMouse
    readonly property bool down: area.pressed
    readonly property color ink: kind === "accent" ? "#15110a"
                               : active ? "#f3c67a"
                               : "#e6e9ee"

    implicitHeight: 36
    implicitWidth: row.implicitWidth + 28
    radius: kind === "round" ? height / 2 : 8
    opacity: enabled ? 1.0 : 0.32
    border.width: activeFocus ? 2 : kind === "round" && !big ? 1 : 0
    border.color: activeFocus ? "#f3c67a" : "#323a47"
    color: {
        if (kind === "accent")
            return down ? "#b9863a" : hovered ? "#f0bb63" : "#e0a84e"
        if (kind === "round" && big)
            return down ? "#b9863a" : hovered ? "#f0bb63" : "#e0a84e"
        if (down)
            return Qt.darker(hoverColor, 1.35)
        if (hovered)
            return hoverColor
        if (kind === "tab" && active)
            return "#222833"
        if (kind === "round")
            return "#1f252e"
        return "transparent"
    }
    Behavior on color { ColorAnimation { duration: 90 } }

    // The marker of the active tab.
    Rectangle {
        visible: btn.kind === "tab" && btn.active
        x: 0; width: 3; radius: 1.5
        anchors { top: parent.top; bottom: parent.bottom; margins: 8 }
        color: "#e0a84e"
    }

    Row {
        id: row
        spacing: 10
        anchors.verticalCenter: parent.verticalCenter
        anchors.horizontalCenter: btn.kind === "tab" ? undefined : parent.horizontalCenter
        x: btn.kind === "tab" ? 15 : 0
        SceneIcon {
            visible: btn.icon !== ""
            name: btn.icon
            width: btn.iconSize; height: btn.iconSize
            color: btn.kind === "round" && btn.big ? "#15110a" : btn.ink
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            visible: btn.text !== ""
            text: btn.text
            color: btn.ink
            font { family: "DejaVu Sans"; pixelSize: 13; bold: btn.kind === "accent" }
            anchors.verticalCenter: parent.verticalCenter
        }
    }

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: btn.activate()
    }
}
