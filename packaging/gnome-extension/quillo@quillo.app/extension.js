// Serves app.quillo.Shell at /app/quillo/Shell on GNOME Shell's own bus name, for the
// Quillo macro recorder under Wayland: the pointer, the focused application, activation
// and the monitors. Nothing is stored and nothing leaves the session bus.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Shell from 'gi://Shell';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

const INTERFACE = `
<node>
  <interface name="app.quillo.Shell">
    <method name="GetPointer"><arg type="i" direction="out"/><arg type="i" direction="out"/></method>
    <method name="GetFocusedApp"><arg type="s" direction="out"/><arg type="s" direction="out"/></method>
    <method name="Activate"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
    <method name="GetMonitors"><arg type="s" direction="out"/></method>
    <signal name="FocusChanged"><arg type="s"/><arg type="s"/></signal>
  </interface>
</node>`;

class QuilloShell {
    GetPointer() {
        const [x, y] = global.get_pointer();
        return [x, y];
    }

    GetFocusedApp() {
        const app = Shell.WindowTracker.get_default().focus_app;
        return app ? [app.get_id() ?? '', app.get_name() ?? ''] : ['', ''];
    }

    Activate(id) {
        const system = Shell.AppSystem.get_default();
        const app = system.lookup_app(id.endsWith('.desktop') ? id : `${id}.desktop`);
        if (!app || app.get_n_windows() === 0)
            return false;
        app.activate();
        return true;
    }

    GetMonitors() {
        const display = global.display;
        const monitors = [];
        for (let i = 0; i < display.get_n_monitors(); i++) {
            const rect = display.get_monitor_geometry(i);
            monitors.push({
                name: `monitor-${i}`,
                x: rect.x, y: rect.y, width: rect.width, height: rect.height,
                scale: display.get_monitor_scale(i),
            });
        }
        return JSON.stringify(monitors);
    }
}

export default class QuilloExtension extends Extension {
    enable() {
        this._impl = new QuilloShell();
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this._impl);
        this._object.export(Gio.DBus.session, '/app/quillo/Shell');
        this._tracker = Shell.WindowTracker.get_default();
        this._focusId = this._tracker.connect('notify::focus-app', () => {
            const [id, name] = this._impl.GetFocusedApp();
            this._object.emit_signal('FocusChanged', new GLib.Variant('(ss)', [id, name]));
        });
    }

    disable() {
        this._tracker?.disconnect(this._focusId);
        this._object?.unexport();
        this._object = null;
        this._impl = null;
        this._tracker = null;
    }
}
