
function init() {
    return createQuilloShell({Gio, GLib, Shell, Meta, St, Main, PanelMenu, PopupMenu});
}
