// Quillo's part inside GNOME Shell, for the Quillo macro recorder under Wayland. It serves
// app.quillo.Shell at /app/quillo/Shell on GNOME Shell's own bus name: the pointer, the
// focused application, activation and the monitors; global hotkeys that Quillo asks for
// (grabbed in the shell, each press told to that Quillo alone); and, where the desktop has
// no tray, a top-bar indicator with Quillo's menu; and pictures of parts of the screen,
// only for the process that owns Quillo's own bus name (app.quillo.Quillo) and only while
// it says a recording or a playback that reads the screen runs. Nothing is stored and
// nothing leaves the session bus; whatever a Quillo process asked for goes when it leaves
// the bus.
//
// This file is the body shared by both forms of the extension (GNOME 42-44 and 45 on):
// the build puts each form's imports before it and its entry point after it.

const QUILLO_INTERFACE = `
<node>
  <interface name="app.quillo.Shell">
    <method name="GetPointer"><arg type="i" direction="out"/><arg type="i" direction="out"/></method>
    <method name="GetFocusedApp"><arg type="s" direction="out"/><arg type="s" direction="out"/></method>
    <method name="Activate"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
    <method name="GetMonitors"><arg type="s" direction="out"/></method>
    <method name="GrabAccelerator">
      <arg name="accelerator" type="s" direction="in"/><arg name="id" type="u" direction="in"/>
      <arg name="granted" type="b" direction="out"/>
    </method>
    <method name="UngrabAccelerators"><arg name="id" type="u" direction="in"/></method>
    <method name="SetIndicator">
      <arg name="state" type="s" direction="in"/><arg name="menu" type="s" direction="in"/>
    </method>
    <method name="GetIndicatorAreas"><arg type="s" direction="out"/></method>
    <method name="SetScreenReading"><arg name="on" type="b" direction="in"/></method>
    <method name="CaptureArea">
      <arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/>
      <arg name="width" type="i" direction="in"/><arg name="height" type="i" direction="in"/>
      <arg name="png" type="ay" direction="out"/>
    </method>
    <signal name="FocusChanged"><arg type="s"/><arg type="s"/></signal>
    <signal name="HotkeyPressed"><arg name="id" type="u"/></signal>
    <signal name="IndicatorMenuOpened"/>
    <signal name="IndicatorActivated"><arg name="entry" type="s"/><arg name="areas" type="s"/></signal>
  </interface>
</node>`;

const QUILLO_PATH = '/app/quillo/Shell';
// The name the Quillo application owns on the session bus: only its owner may read the screen.
const QUILLO_APP_NAME = 'app.quillo.Quillo';
const QUILLO_NOT_ALLOWED = 'app.quillo.Shell.Error.NotAllowed';
const QUILLO_IFACE = 'app.quillo.Shell';
// The indicator's colour for each state (idle takes the panel's own).
const QUILLO_STATE_STYLES = {idle: '', recording: 'color: #ff3b30;', playing: 'color: #0a84ff;'};

function createQuilloShell(lib) {
    const {Gio, GLib, Shell, Meta, St, Main, PanelMenu, PopupMenu} = lib;

    // Per Quillo process (its unique bus name): its grabs and the watch on its name.
    const clients = new Map();
    // Grabbed action -> {sender, id}.
    const grabs = new Map();
    let object = null, tracker = null, focusId = 0, acceleratorId = 0;
    let indicator = null, indicatorOwner = null;
    // Who owns Quillo's name now, and whether it said it reads the screen.
    let appOwner = null, appWatch = 0, ownerReads = false;

    function signalTo(sender, name, signature, values) {
        Gio.DBus.session.emit_signal(sender, QUILLO_PATH, QUILLO_IFACE, name,
            signature ? new GLib.Variant(signature, values) : null);
    }

    function client(sender) {
        let c = clients.get(sender);
        if (!c) {
            c = {actions: new Set(), watch: 0};
            c.watch = Gio.bus_watch_name_on_connection(Gio.DBus.session, sender, Gio.BusNameWatcherFlags.NONE,
                null, () => forget(sender));
            clients.set(sender, c);
        }
        return c;
    }

    function ungrab(action) {
        global.display.ungrab_accelerator(action);
        grabs.delete(action);
    }

    // A Quillo that left the bus (quit or crashed) leaves nothing behind.
    function forget(sender) {
        const c = clients.get(sender);
        if (!c)
            return;
        for (const action of c.actions)
            ungrab(action);
        Gio.bus_unwatch_name(c.watch);
        clients.delete(sender);
        if (sender === appOwner)
            ownerReads = false;
        if (indicatorOwner === sender)
            removeIndicator();
    }

    function removeIndicator() {
        if (indicator)
            indicator.destroy();
        indicator = null;
        indicatorOwner = null;
    }

    function updateIndicator(sender, state, menu) {
        if (!state) {
            if (indicatorOwner === sender)
                removeIndicator();
            return;
        }
        if (!indicator) {
            indicator = new PanelMenu.Button(0.0, 'Quillo', false);
            indicator._quilloIcon = new St.Icon({icon_name: 'media-record-symbolic', style_class: 'system-status-icon'});
            indicator.add_child(indicator._quilloIcon);
            indicator.menu.connect('open-state-changed', (_menu, open) => {
                if (open && indicatorOwner)
                    signalTo(indicatorOwner, 'IndicatorMenuOpened', null, null);
            });
            Main.panel.addToStatusArea('quillo-indicator', indicator);
        }
        client(sender);
        indicatorOwner = sender;
        indicator._quilloState = state;
        indicator._quilloIcon.set_style(QUILLO_STATE_STYLES[state] ?? '');
        indicator.menu.removeAll();
        let entries = [];
        try {
            entries = JSON.parse(menu);
        } catch (e) {
            entries = [];
        }
        for (const entry of Array.isArray(entries) ? entries.slice(0, 64) : []) {
            if (entry.separator) {
                indicator.menu.addMenuItem(new PopupMenu.PopupSeparatorMenuItem());
                continue;
            }
            const item = new PopupMenu.PopupMenuItem(String(entry.label ?? '').slice(0, 200));
            item.setSensitive(entry.enabled !== false && !!entry.id);
            const id = String(entry.id ?? '');
            item.connect('activate', () => {
                // Where the button and the open menu are now: the clicks there are not part
                // of what Quillo records.
                if (indicatorOwner)
                    signalTo(indicatorOwner, 'IndicatorActivated', '(ss)', [id, JSON.stringify(indicatorAreas())]);
            });
            indicator.menu.addMenuItem(item);
        }
    }

    function indicatorAreas() {
        const areas = [];
        if (indicator) {
            areas.push(rectOf(indicator));
            if (indicator.menu.isOpen)
                areas.push(rectOf(indicator.menu.actor));
        }
        return areas;
    }

    function rectOf(actor) {
        const [x, y] = actor.get_transformed_position();
        const [width, height] = actor.get_transformed_size();
        return {x: Math.round(x), y: Math.round(y), width: Math.round(width), height: Math.round(height)};
    }

    const service = {
        GetPointer() {
            const [x, y] = global.get_pointer();
            return [x, y];
        },

        // An application without a desktop entry is known by its window's class (the
        // Wayland app id), which stays the same from run to run, unlike the shell's "window:N".
        GetFocusedApp() {
            const app = Shell.WindowTracker.get_default().focus_app;
            if (!app)
                return ['', ''];
            let id = app.get_id() ?? '';
            if (id.startsWith('window:'))
                id = global.display.focus_window?.get_wm_class() ?? '';
            return [id, app.get_name() ?? ''];
        },

        Activate(id) {
            const system = Shell.AppSystem.get_default();
            const app = system.lookup_app(id.endsWith('.desktop') ? id : `${id}.desktop`);
            // The shell refuses an activation older than the user's last input (and 0 is):
            // without the current time the window would only demand attention.
            const now = global.display.get_current_time_roundtrip();
            if (app && app.get_n_windows() > 0) {
                app.activate_full(-1, now);
                return true;
            }
            const window = global.get_window_actors().map(actor => actor.meta_window)
                .find(w => w.get_wm_class() === id);
            if (!window)
                return false;
            Main.activateWindow(window, now);
            return true;
        },

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
        },

        // A chord for the asking Quillo; false when the shell or another program holds it.
        GrabAcceleratorAsync([accelerator, id], invocation) {
            const sender = invocation.get_sender();
            const action = global.display.grab_accelerator(accelerator, Meta.KeyBindingFlags.NONE);
            if (action === Meta.KeyBindingAction.NONE) {
                invocation.return_value(new GLib.Variant('(b)', [false]));
                return;
            }
            // Also while a menu or the overview is open: a stop must always work.
            Main.wm.allowKeybinding(Meta.external_binding_name_for_action(action), Shell.ActionMode.ALL);
            client(sender).actions.add(action);
            grabs.set(action, {sender, id});
            invocation.return_value(new GLib.Variant('(b)', [true]));
        },

        UngrabAcceleratorsAsync([id], invocation) {
            const sender = invocation.get_sender();
            const c = clients.get(sender);
            for (const [action, grab] of [...grabs]) {
                if (grab.sender === sender && grab.id === id) {
                    ungrab(action);
                    c?.actions.delete(action);
                }
            }
            invocation.return_value(null);
        },

        SetIndicatorAsync([state, menu], invocation) {
            updateIndicator(invocation.get_sender(), state, menu);
            invocation.return_value(null);
        },

        // Where the indicator and its open menu are, to leave clicks on them out of a recording.
        GetIndicatorAreas() {
            return JSON.stringify(indicatorAreas());
        },

        // Quillo says when a recording or a playback that reads the screen starts and ends.
        SetScreenReadingAsync([on], invocation) {
            const sender = invocation.get_sender();
            if (sender !== appOwner) {
                invocation.return_dbus_error(QUILLO_NOT_ALLOWED, `only the owner of ${QUILLO_APP_NAME} may read the screen`);
                return;
            }
            client(sender);
            ownerReads = !!on;
            invocation.return_value(null);
        },

        // A picture (PNG) of an area in the stage's (logical) coordinates, at the monitors' scale.
        CaptureAreaAsync([x, y, width, height], invocation) {
            const sender = invocation.get_sender();
            if (sender !== appOwner || !ownerReads) {
                invocation.return_dbus_error(QUILLO_NOT_ALLOWED,
                    'the screen is shown only to Quillo, while it records or plays a macro that reads the screen');
                return;
            }
            if (!(width > 0 && height > 0 && width <= 16384 && height <= 16384)) {
                invocation.return_dbus_error('org.freedesktop.DBus.Error.InvalidArgs', 'not an area of the screen');
                return;
            }
            const stream = Gio.MemoryOutputStream.new_resizable();
            const shooter = new Shell.Screenshot();
            shooter.screenshot_area(x, y, width, height, stream, (source, result) => {
                try {
                    source.screenshot_area_finish(result);
                    stream.close(null);
                    const bytes = stream.steal_as_bytes();
                    invocation.return_value(new GLib.Variant('(ay)', [bytes.toArray()]));
                } catch (e) {
                    invocation.return_dbus_error('app.quillo.Shell.Error.Failed', String(e?.message ?? e).slice(0, 200));
                }
            });
        },
    };

    return {
        enable() {
            object = Gio.DBusExportedObject.wrapJSObject(QUILLO_INTERFACE, service);
            object.export(Gio.DBus.session, QUILLO_PATH);
            appWatch = Gio.bus_watch_name_on_connection(Gio.DBus.session, QUILLO_APP_NAME, Gio.BusNameWatcherFlags.NONE,
                (_connection, _name, owner) => {
                    appOwner = owner;
                    ownerReads = false;
                },
                () => {
                    appOwner = null;
                    ownerReads = false;
                });
            tracker = Shell.WindowTracker.get_default();
            focusId = tracker.connect('notify::focus-app', () => {
                const [id, name] = service.GetFocusedApp();
                object.emit_signal('FocusChanged', new GLib.Variant('(ss)', [id, name]));
            });
            acceleratorId = global.display.connect('accelerator-activated', (_display, action) => {
                const grab = grabs.get(action);
                if (grab)
                    signalTo(grab.sender, 'HotkeyPressed', '(u)', [grab.id]);
            });
        },

        disable() {
            for (const sender of [...clients.keys()])
                forget(sender);
            removeIndicator();
            if (acceleratorId)
                global.display.disconnect(acceleratorId);
            if (tracker && focusId)
                tracker.disconnect(focusId);
            if (appWatch)
                Gio.bus_unwatch_name(appWatch);
            appWatch = 0;
            appOwner = null;
            ownerReads = false;
            object?.unexport();
            object = null;
            tracker = null;
            focusId = acceleratorId = 0;
        },
    };
}
