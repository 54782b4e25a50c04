// Quillo's KWin script on Plasma 6's names (Debian's KWin 5.27 runs it for real in the kde
// tests), and on 5.27's names, against stand-ins for KWin's scripting objects.
//   node kwin-script-test.mjs BRIDGE_JS
import assert from 'node:assert/strict';
import {readFileSync} from 'node:fs';
import vm from 'node:vm';

const source = readFileSync(process.argv[2], 'utf8');

function signal() {
    const handlers = [];
    return {connect(h) { handlers.push(h); }, emit(...a) { for (const h of handlers) h(...a); }};
}

function run(workspace) {
    const calls = [];
    const callDBus = (service, path, iface, method, ...args) => calls.push([method, ...args]);
    vm.runInNewContext(source, {workspace, callDBus, KWin: {ScreenArea: 7}, JSON});
    return calls;
}

// Plasma 6.
const kate = {desktopFileName: 'org.kde.kate', resourceClass: 'kate'};
const plasma6 = {
    activeWindow: kate, windowActivated: signal(), cursorPos: {x: 5, y: 6}, cursorPosChanged: signal(),
    screens: [{name: 'DP-1', geometry: {x: 0, y: 0, width: 2560, height: 1440}, devicePixelRatio: 1.25}],
    screensChanged: signal(),
};
let calls = run(plasma6);
assert.deepEqual(calls[0], ['activeWindowChanged', 'org.kde.kate', 'kate']);
assert.deepEqual(JSON.parse(calls[1][1]), [{name: 'DP-1', x: 0, y: 0, width: 2560, height: 1440, scale: 1.25}]);
assert.deepEqual(calls[2], ['cursorMoved', 5, 6]);
plasma6.windowActivated.emit({desktopFileName: '', resourceClass: 'foot'});
plasma6.windowActivated.emit(null);
assert.deepEqual(calls.slice(3), [['activeWindowChanged', '', 'foot']]);

// Plasma 5.27: other names, screens by number, no window between two.
const areas = [{x: 0, y: 0, width: 1280, height: 800}, {x: 1280, y: 0, width: 1920, height: 1080}];
const plasma527 = {
    activeClient: null, clientActivated: signal(), cursorPos: {x: 1, y: 2}, cursorPosChanged: signal(),
    numScreens: 2, currentDesktop: 1, clientArea: (kind, screen, desktop) => {
        assert.equal(kind, 7);
        assert.equal(desktop, 1);
        return areas[screen];
    },
    numberScreensChanged: signal(), screenResized: signal(),
};
calls = run(plasma527);
assert.equal(calls[0][0], 'screensChanged', 'no window is no report');
assert.deepEqual(JSON.parse(calls[0][1]).map(s => s.x), [0, 1280]);
plasma527.clientActivated.emit({desktopFileName: 'org.kde.dolphin', resourceClass: 'dolphin'});
plasma527.cursorPosChanged.emit();
plasma527.numScreens = 1;
plasma527.numberScreensChanged.emit(1);
assert.deepEqual(calls.slice(2).map(c => c[0]), ['activeWindowChanged', 'cursorMoved', 'screensChanged']);
assert.equal(JSON.parse(calls.at(-1)[1]).length, 1);
console.log('KWin script on Plasma 6 and 5.27 names: ok');
