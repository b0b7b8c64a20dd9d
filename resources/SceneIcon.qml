// A small line-art icon drawn on a 24 x 24 grid, scaled to the item's size.
// Canvas paints with the software renderer, so no shaders are needed.
import QtQuick

Canvas {
    id: icon
    property string name
    property color color: "#eef0f3"
    implicitWidth: 20
    implicitHeight: 20
    antialiasing: true

    onNameChanged: requestPaint()
    onColorChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()

    function tri(c, x1, y1, x2, y2, x3, y3) {
        c.beginPath(); c.moveTo(x1, y1); c.lineTo(x2, y2); c.lineTo(x3, y3); c.closePath(); c.fill()
    }
    function line(c, x1, y1, x2, y2) {
        c.beginPath(); c.moveTo(x1, y1); c.lineTo(x2, y2); c.stroke()
    }
    function ring(c, x, y, r) {
        c.beginPath(); c.arc(x, y, r, 0, 2 * Math.PI); c.stroke()
    }
    function padlock(c, open) {
        c.fillRect(5.5, 11, 13, 9.5)
        c.beginPath()
        c.moveTo(8.5, 11)
        c.lineTo(8.5, 7.5)
        c.arc(12, 7.5, 3.5, Math.PI, 2 * Math.PI)
        c.lineTo(15.5, open ? 5 : 11)
        c.stroke()
        if (open)
            c.clearRect(14, 7.6, 3, 3.3)
    }

    onPaint: {
        const c = getContext("2d")
        c.reset()
        c.scale(width / 24, height / 24)
        c.fillStyle = icon.color
        c.strokeStyle = icon.color
        c.lineWidth = 2
        c.lineCap = "round"
        c.lineJoin = "round"
        switch (icon.name) {
        case "play": tri(c, 7, 4.5, 19.5, 12, 7, 19.5); break
        case "pause": c.fillRect(6, 5, 4, 14); c.fillRect(14, 5, 4, 14); break
        case "stop": c.fillRect(6, 6, 12, 12); break
        case "previous": c.fillRect(5, 6, 2.5, 12); tri(c, 19, 6, 9, 12, 19, 18); break
        case "next": c.fillRect(16.5, 6, 2.5, 12); tri(c, 5, 6, 15, 12, 5, 18); break
        case "begin":
            c.fillRect(3.5, 6, 2.2, 12); tri(c, 13, 6, 6.5, 12, 13, 18); tri(c, 20.5, 6, 14, 12, 20.5, 18); break
        case "end":
            c.fillRect(18.3, 6, 2.2, 12); tri(c, 11, 6, 17.5, 12, 11, 18); tri(c, 3.5, 6, 10, 12, 3.5, 18); break
        case "eject": tri(c, 4.5, 13.5, 12, 5, 19.5, 13.5); c.fillRect(4.5, 16, 15, 3); break
        case "lock": padlock(c, false); break
        case "unlock": padlock(c, true); break
        case "minimize": line(c, 6, 12, 18, 12); break
        case "close": line(c, 6.5, 6.5, 17.5, 17.5); line(c, 17.5, 6.5, 6.5, 17.5); break
        case "help":
            ring(c, 12, 12, 9)
            c.beginPath(); c.arc(12, 9.5, 3, Math.PI * 1.1, Math.PI * 2.4); c.lineTo(12, 14); c.stroke()
            c.fillRect(11, 16.3, 2, 2); break
        case "gear":
            for (let i = 0; i < 8; ++i) {
                c.save(); c.translate(12, 12); c.rotate(i * Math.PI / 4); c.fillRect(-1.6, -10, 3.2, 4); c.restore()
            }
            c.lineWidth = 2.4; ring(c, 12, 12, 5.6); ring(c, 12, 12, 1.4); break
        case "home":
            c.beginPath(); c.moveTo(4, 11.5); c.lineTo(12, 4.5); c.lineTo(20, 11.5); c.stroke()
            c.beginPath(); c.moveTo(6.5, 10); c.lineTo(6.5, 19.5); c.lineTo(17.5, 19.5); c.lineTo(17.5, 10); c.stroke()
            c.fillRect(10.5, 14, 3, 5.5); break
        case "tracks":
            for (let r = 0; r < 3; ++r) {
                c.fillRect(4, 6 + r * 6, 2.4, 2.4); line(c, 9.5, 7.2 + r * 6, 20, 7.2 + r * 6)
            }
            break
        case "disc":
            ring(c, 12, 12, 8.5); ring(c, 12, 12, 2.5)
            c.beginPath(); c.arc(12, 12, 5.5, Math.PI * 1.15, Math.PI * 1.55); c.stroke(); break
        case "format":
            c.beginPath(); c.moveTo(6, 3.5); c.lineTo(14, 3.5); c.lineTo(18.5, 8); c.lineTo(18.5, 20.5)
            c.lineTo(6, 20.5); c.closePath(); c.stroke()
            line(c, 9, 15, 9, 17); line(c, 12, 11, 12, 17.5); line(c, 15, 13, 15, 17); break
        case "sliders":
            line(c, 4, 7, 20, 7); line(c, 4, 12, 20, 12); line(c, 4, 17, 20, 17)
            c.fillRect(13, 4.5, 4, 5); c.fillRect(6, 9.5, 4, 5); c.fillRect(11, 14.5, 4, 5); break
        case "extract":
            line(c, 12, 3.5, 12, 14); tri(c, 7, 10, 12, 16, 17, 10)
            c.beginPath(); c.moveTo(4, 15); c.lineTo(4, 20); c.lineTo(20, 20); c.lineTo(20, 15); c.stroke(); break
        case "hide": line(c, 8, 10, 12, 14); line(c, 12, 14, 16, 10); break
        case "revert":
            c.beginPath(); c.arc(12, 12.5, 7, Math.PI * 1.2, Math.PI * 2.85); c.stroke()
            tri(c, 2.5, 7, 8.5, 6, 5.5, 12); break
        case "check": c.lineWidth = 2.6; c.beginPath(); c.moveTo(5, 12.5); c.lineTo(10, 17.5); c.lineTo(19, 7); c.stroke(); break
        }
    }
}
