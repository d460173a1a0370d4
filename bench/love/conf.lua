-- The comparison frame's window: the size of the engine's windowed figure,
-- no wait for a vertical blank, nothing but what the frame needs.
function love.conf(t)
    t.identity = nil
    t.window.title = "comparison frame"
    t.window.width = 1024
    t.window.height = 768
    t.window.vsync = 0
    t.window.resizable = false
    t.modules.audio = false
    t.modules.sound = false
    t.modules.joystick = false
    t.modules.physics = false
    t.modules.video = false
    t.modules.touch = false
end
