// Keeps the window library buildable until its first window exists.
namespace vellumdex_ui_placeholder { }
