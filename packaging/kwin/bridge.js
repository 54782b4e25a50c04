// Quillo's bridge inside KWin (Plasma 6): tells Quillo which window is active, where the
// cursor is and how the screens are laid out, over D-Bus. Quillo loads it while it runs.
const service = "app.quillo.KWinBridge";
const path = "/KWinBridge";
const iface = "app.quillo.KWinBridge";

function tellActive(window) {
    if (window)
        callDBus(service, path, iface, "activeWindowChanged", window.desktopFileName || "", window.resourceClass || "");
}

function tellScreens() {
    const screens = workspace.screens.map(function (output) {
        return {
            name: output.name,
            x: output.geometry.x,
            y: output.geometry.y,
            width: output.geometry.width,
            height: output.geometry.height,
            scale: output.devicePixelRatio
        };
    });
    callDBus(service, path, iface, "screensChanged", JSON.stringify(screens));
}

workspace.windowActivated.connect(tellActive);
workspace.cursorPosChanged.connect(function () {
    callDBus(service, path, iface, "cursorMoved", workspace.cursorPos.x, workspace.cursorPos.y);
});
workspace.screensChanged.connect(tellScreens);
tellActive(workspace.activeWindow);
tellScreens();
callDBus(service, path, iface, "cursorMoved", workspace.cursorPos.x, workspace.cursorPos.y);
