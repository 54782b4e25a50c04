// Quillo's GNOME Shell extension in its module form (GNOME 45 and later), which Debian's
// GNOME 43 cannot load, against stand-ins for the shell: it serves Quillo's interface,
// grabs and lets go of accelerators per Quillo process, tells each press to that process
// alone, shows the indicator with its entries, and shows the screen only to the owner of
// Quillo's bus name while it says it reads it.
//   node --experimental-loader ./loader.mjs gnome-extension-test.mjs EXTENSION_JS
import assert from 'node:assert/strict';
import {pathToFileURL} from 'node:url';

const calls = [];
const signals = [];
let exported = null;
const watches = new Map();
const displayHandlers = {};
const grabbed = new Map();
let nextAction = 100;

class Variant {
    constructor(signature, values) { this.signature = signature; this.values = values; }
}

const Gio = {
    DBus: {
        session: {
            emit_signal(destination, path, iface, name, variant) {
                signals.push({destination, path, iface, name, values: variant?.values ?? null});
            },
        },
    },
    DBusExportedObject: {
        wrapJSObject(xml, service) {
            exported = {xml, service, path: null, emitted: [],
                export(bus, path) { this.path = path; },
                unexport() { this.path = null; },
                emit_signal(name, variant) { this.emitted.push({name, values: variant.values}); }};
            return exported;
        },
    },
    BusNameWatcherFlags: {NONE: 0},
    bus_watch_name_on_connection(bus, name, flags, appeared, vanished) {
        const id = watches.size + 1;
        watches.set(id, {name, appeared, vanished});
        return id;
    },
    bus_unwatch_name(id) { watches.delete(id); },
    MemoryOutputStream: {new_resizable: () => ({closed: false, close() { this.closed = true; },
        steal_as_bytes() { return {toArray: () => Uint8Array.from([0x89, 0x50, 0x4e, 0x47])}; }})},
};
const GLib = {Variant};
const Meta = {
    KeyBindingFlags: {NONE: 0},
    KeyBindingAction: {NONE: 0},
    external_binding_name_for_action: action => `external-grab-${action}`,
};
const focusWindow = {get_wm_class: () => 'org.example.NoDesktopFile'};
let focusApp = {get_id: () => 'window:3', get_name: () => 'Example'};
const editorApp = {
    get_n_windows: () => 1,
    activate() { calls.push(['activate']); },
    activate_full(workspace, time) { calls.push(['activate_full', workspace, time]); },
};
const shots = [];
class Screenshot {
    screenshot_area(x, y, width, height, stream, done) {
        shots.push([x, y, width, height]);
        done(this, 'result');
    }
    screenshot_area_finish(result) { assert.equal(result, 'result'); return [true, null]; }
}
const Shell = {
    Screenshot,
    ActionMode: {ALL: -1},
    WindowTracker: {get_default: () => ({focus_app: focusApp, connect: () => 7, disconnect() {}})},
    // One application with a desktop entry (and a window); any other id has none.
    AppSystem: {get_default: () => ({lookup_app: id => id === 'org.example.Editor.desktop' ? editorApp : null})},
};
class Actor {
    get_transformed_position() { return [1180, 0]; }
    get_transformed_size() { return [40, 32]; }
}
class Menu extends Actor {
    constructor() { super(); this.items = []; this.isOpen = false; this.actor = new Actor(); this.handlers = {}; }
    connect(name, handler) { this.handlers[name] = handler; }
    removeAll() { this.items = []; }
    addMenuItem(item) { this.items.push(item); }
}
class Button extends Actor {
    constructor() { super(); this.menu = new Menu(); this.children = []; this.destroyed = false; }
    add_child(child) { this.children.push(child); }
    destroy() { this.destroyed = true; }
}
class PopupMenuItem {
    constructor(label) { this.label = label; this.sensitive = true; this.handlers = {}; }
    setSensitive(on) { this.sensitive = on; }
    connect(name, handler) { this.handlers[name] = handler; }
}
class PopupSeparatorMenuItem {}
class Icon {
    constructor(properties) { this.properties = properties; this.style = ''; }
    set_style(style) { this.style = style; }
}
const statusArea = {};
const Main = {
    panel: {addToStatusArea(role, button) { statusArea[role] = button; }, statusArea},
    wm: {allowKeybinding(name, modes) { calls.push(['allowKeybinding', name, modes]); }},
    activateWindow(window, time) { calls.push(['activateWindow', window, time]); },
};
class Extension {
    constructor(metadata) { this.metadata = metadata; }
}
globalThis.global = {
    display: {
        grab_accelerator(accelerator) {
            if (accelerator === '<Super>0x21')
                return 0; // the shell's own (switch-monitor)
            const action = nextAction++;
            grabbed.set(action, accelerator);
            return action;
        },
        ungrab_accelerator(action) { grabbed.delete(action); calls.push(['ungrab', action]); },
        connect(name, handler) { displayHandlers[name] = handler; return 9; },
        disconnect() {},
        focus_window: focusWindow,
        get_n_monitors: () => 1,
        get_monitor_geometry: () => ({x: 0, y: 0, width: 1920, height: 1080}),
        get_monitor_scale: () => 1,
        get_current_time_roundtrip: () => 4242,
    },
    get_pointer: () => [10, 20],
    get_window_actors: () => [{meta_window: focusWindow}],
};
globalThis.__quilloStandIns = {
    'gi://Gio': Gio, 'gi://GLib': GLib, 'gi://Meta': Meta, 'gi://Shell': Shell, 'gi://St': {Icon},
    'resource:///org/gnome/shell/ui/main.js': Main,
    'resource:///org/gnome/shell/ui/panelMenu.js': {Button},
    'resource:///org/gnome/shell/ui/popupMenu.js': {PopupMenuItem, PopupSeparatorMenuItem},
    'resource:///org/gnome/shell/extensions/extension.js': {Extension},
};

function invocation(sender) {
    return {sender, returned: undefined, error: undefined, get_sender() { return this.sender; },
        return_value(v) { this.returned = v; }, return_dbus_error(name, text) { this.error = name; }};
}

const {default: QuilloExtension} = await import(pathToFileURL(process.argv[2]).href);
const extension = new QuilloExtension({uuid: 'quillo@quillo.app'});
extension.enable();
assert.equal(exported.path, '/app/quillo/Shell');
assert.match(exported.xml, /<method name="GrabAccelerator">/);
const service = exported.service;

// Focus: an application without a desktop entry is known by its window's class.
assert.deepEqual(service.GetFocusedApp(), ['org.example.NoDesktopFile', 'Example']);
// Activation carries the shell's current time (0 would leave the window only demanding
// attention), with a desktop entry and without.
assert.equal(service.Activate('org.example.Editor'), true);
assert.deepEqual(calls.filter(c => c[0].startsWith('activate')), [['activate_full', -1, 4242]]);
assert.equal(service.Activate('org.example.NoDesktopFile'), true);
assert.deepEqual(calls.filter(c => c[0] === 'activateWindow'), [['activateWindow', focusWindow, 4242]]);
assert.equal(service.Activate('org.example.Missing'), false);
assert.deepEqual(JSON.parse(service.GetMonitors()), [{name: 'monitor-0', x: 0, y: 0, width: 1920, height: 1080, scale: 1}]);

// Two Quillo processes grab; each press goes to its own process only.
let call = invocation(':1.5');
service.GrabAcceleratorAsync(['<Super><Alt>0x1b', 1], call);
assert.equal(call.returned.values[0], true);
assert.deepEqual(calls.find(c => c[0] === 'allowKeybinding'), ['allowKeybinding', 'external-grab-100', -1]);
call = invocation(':1.9');
service.GrabAcceleratorAsync(['<Super><Alt>0x21', 3], call);
assert.equal(call.returned.values[0], true);
call = invocation(':1.5');
service.GrabAcceleratorAsync(['<Super>0x21', 3], call);
assert.equal(call.returned.values[0], false, 'a chord the shell holds must be refused');
displayHandlers['accelerator-activated'](global.display, 100);
displayHandlers['accelerator-activated'](global.display, 999); // not Quillo's
assert.deepEqual(signals.map(s => [s.destination, s.name, s.values]), [[':1.5', 'HotkeyPressed', [1]]]);

// Letting go of one id keeps the others; a process that leaves the bus leaves nothing.
service.UngrabAcceleratorsAsync([1], invocation(':1.5'));
assert.deepEqual([...grabbed.keys()], [101]);
for (const watch of [...watches.values()].filter(w => w.name === ':1.9'))
    watch.vanished();
assert.equal(grabbed.size, 0);

// The indicator: state, entries, and the choice sent with where it was.
service.SetIndicatorAsync(['recording', JSON.stringify([{id: 'status', label: 'Recording...', enabled: false},
    {separator: true}, {id: 'stopRecording', label: 'Stop Recording'}])], invocation(':1.5'));
const button = statusArea['quillo-indicator'];
assert.ok(button, 'no indicator in the panel');
assert.equal(button._quilloIcon.style, 'color: #ff3b30;');
assert.equal(button.menu.items.length, 3);
assert.equal(button.menu.items[0].sensitive, false);
button.menu.isOpen = true;
button.menu.items[2].handlers.activate();
const chosen = signals.at(-1);
assert.equal(chosen.name, 'IndicatorActivated');
assert.equal(chosen.destination, ':1.5');
assert.equal(chosen.values[0], 'stopRecording');
assert.equal(JSON.parse(chosen.values[1]).length, 2, 'the button and its open menu');
service.SetIndicatorAsync(['playing', '[]'], invocation(':1.5'));
assert.equal(button._quilloIcon.style, 'color: #0a84ff;');
service.SetIndicatorAsync(['recording', 'not json'], invocation(':1.5'));
assert.equal(button.menu.items.length, 0, 'a broken menu shows nothing');

// The screen: only for the owner of Quillo's name, and only while it says it reads it.
const appName = [...watches.values()].find(w => w.name === 'app.quillo.Quillo');
assert.ok(appName, 'the extension does not watch the owner of app.quillo.Quillo');
const capture = sender => {
    const c = invocation(sender);
    service.CaptureAreaAsync([10, 20, 48, 48], c);
    return c;
};
assert.equal(capture(':1.5').error, 'app.quillo.Shell.Error.NotAllowed', 'nobody owns the name yet');
appName.appeared(null, 'app.quillo.Quillo', ':1.5');
assert.equal(capture(':1.5').error, 'app.quillo.Shell.Error.NotAllowed', 'the owner has not said it reads the screen');
let reading = invocation(':1.7');
service.SetScreenReadingAsync([true], reading);
assert.equal(reading.error, 'app.quillo.Shell.Error.NotAllowed', 'only the owner may say so');
service.SetScreenReadingAsync([true], invocation(':1.5'));
assert.equal(capture(':1.7').error, 'app.quillo.Shell.Error.NotAllowed', 'another process is not shown the screen');
assert.equal(shots.length, 0);
const shown = capture(':1.5');
assert.equal(shown.error, undefined);
assert.equal(shown.returned.signature, '(ay)');
assert.deepEqual([...shown.returned.values[0]], [0x89, 0x50, 0x4e, 0x47]);
assert.deepEqual(shots, [[10, 20, 48, 48]]);
const huge = invocation(':1.5');
service.CaptureAreaAsync([0, 0, 100000, 10], huge);
assert.equal(huge.error, 'org.freedesktop.DBus.Error.InvalidArgs');
service.SetScreenReadingAsync([false], invocation(':1.5'));
assert.equal(capture(':1.5').error, 'app.quillo.Shell.Error.NotAllowed', 'the recording or playback has ended');
// A new owner starts without the old one's word.
service.SetScreenReadingAsync([true], invocation(':1.5'));
appName.vanished();
appName.appeared(null, 'app.quillo.Quillo', ':1.8');
assert.equal(capture(':1.8').error, 'app.quillo.Shell.Error.NotAllowed');
assert.equal(capture(':1.5').error, 'app.quillo.Shell.Error.NotAllowed');

extension.disable();
assert.equal(exported.path, null);
assert.ok(!watches.has([...watches.keys()].find(k => watches.get(k) === appName)), 'the name is still watched');
assert.equal(button.destroyed, true);
console.log('module-form extension: ok');
