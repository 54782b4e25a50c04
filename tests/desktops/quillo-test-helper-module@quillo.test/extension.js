// For Quillo's tests only, in a private headless GNOME Shell 45 or later: the same as the
// legacy helper beside it, as an ES module (org.gnome.Shell.Eval answers in unsafe mode,
// and the overview the shell opens at start is closed so that windows get the focus).
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

export default class QuilloTestHelper extends Extension {
    enable() {
        global.context.unsafe_mode = true;
        if (Main.layoutManager._startingUp)
            Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
        else
            Main.overview.hide();
    }

    disable() {}
}
