// For Quillo's tests only, in a private headless GNOME Shell: org.gnome.Shell.Eval answers
// (unsafe mode), so the test can look at the shell, and the overview the shell opens at
// start is closed so that windows get the focus.
const Main = imports.ui.main;

function init() {
    return {
        enable() {
            global.context.unsafe_mode = true;
            if (Main.layoutManager._startingUp)
                Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
            else
                Main.overview.hide();
        },
        disable() {},
    };
}
