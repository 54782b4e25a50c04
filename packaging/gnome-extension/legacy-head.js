// GNOME Shell 42 to 44 (imports.*, init()).
const {Gio, GLib, Shell, Meta, St} = imports.gi;
const Main = imports.ui.main;
const PanelMenu = imports.ui.panelMenu;
const PopupMenu = imports.ui.popupMenu;
