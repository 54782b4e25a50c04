
export default class QuilloExtension extends Extension {
    enable() {
        this._shell = createQuilloShell({Gio, GLib, Shell, Meta, St, Main, PanelMenu, PopupMenu});
        this._shell.enable();
    }

    disable() {
        this._shell?.disable();
        this._shell = null;
    }
}
