// Quillo's bridge inside KWin (Plasma 5.27 and 6): tells Quillo which window is active,
// where the cursor is and how the screens are laid out, over D-Bus. Quillo loads it while
// it runs. Plasma 6 renamed what scripts see (activeClient -> activeWindow,
// clientActivated -> windowActivated, numScreens -> screens); both are handled.
const service = "app.quillo.KWinBridge";
const path = "/KWinBridge";
const iface = "app.quillo.KWinBridge";
const plasma6 = workspace.windowActivated !== undefined;

function tellActive(window) {
    // 5.27 also reports "no window" between two.
    if (window)
        callDBus(service, path, iface, "activeWindowChanged", window.desktopFileName || "", window.resourceClass || "");
}

function screens() {
    if (plasma6) {
        return workspace.screens.map(function (output) {
            return {
                name: output.name,
                x: output.geometry.x,
                y: output.geometry.y,
                width: output.geometry.width,
                height: output.geometry.height,
                scale: output.devicePixelRatio
            };
        });
    }
    const result = [];
    for (let i = 0; i < workspace.numScreens; i++) {
        const area = workspace.clientArea(KWin.ScreenArea, i, workspace.currentDesktop);
        result.push({name: "screen-" + i, x: area.x, y: area.y, width: area.width, height: area.height, scale: 1});
    }
    return result;
}

function tellScreens() {
    callDBus(service, path, iface, "screensChanged", JSON.stringify(screens()));
}

function tellCursor() {
    callDBus(service, path, iface, "cursorMoved", workspace.cursorPos.x, workspace.cursorPos.y);
}

(plasma6 ? workspace.windowActivated : workspace.clientActivated).connect(tellActive);
workspace.cursorPosChanged.connect(tellCursor);
if (plasma6) {
    workspace.screensChanged.connect(tellScreens);
} else {
    workspace.numberScreensChanged.connect(tellScreens);
    workspace.screenResized.connect(tellScreens);
}
tellActive(plasma6 ? workspace.activeWindow : workspace.activeClient);
tellScreens();
tellCursor();
