// Node module hooks for the tests of Quillo's GNOME Shell extension (module form): the
// shell's own modules ("gi://Gio", "resource:///org/gnome/shell/...") resolve to stand-ins
// that the test puts on globalThis.__quilloStandIns before it imports the extension.
const EXPORTS = {
    'gi://Gio': [], 'gi://GLib': [], 'gi://Meta': [], 'gi://Shell': [], 'gi://St': [],
    'resource:///org/gnome/shell/ui/main.js': ['panel', 'wm', 'activateWindow'],
    'resource:///org/gnome/shell/ui/panelMenu.js': ['Button'],
    'resource:///org/gnome/shell/ui/popupMenu.js': ['PopupMenuItem', 'PopupSeparatorMenuItem'],
    'resource:///org/gnome/shell/extensions/extension.js': ['Extension'],
};

export async function resolve(specifier, context, next) {
    if (specifier in EXPORTS)
        return {url: `quillo-standin:${specifier}`, shortCircuit: true};
    return next(specifier, context);
}

export async function load(url, context, next) {
    if (!url.startsWith('quillo-standin:'))
        return next(url, context);
    const name = url.slice('quillo-standin:'.length);
    const lines = [`const standIn = globalThis.__quilloStandIns[${JSON.stringify(name)}];`, 'export default standIn;'];
    for (const exported of EXPORTS[name])
        lines.push(`export const ${exported} = standIn.${exported};`);
    return {format: 'module', source: lines.join('\n'), shortCircuit: true};
}
