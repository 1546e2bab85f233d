-- The demo's main script. It answers what the engine sends it: the typed keys of the main window
-- come as "key" with the character code; Esc (27) ends the game. "release_all" comes at shutdown.

local function handle(command, params)
    if command == "key" then
        if tonumber(params[1]) == 27 then
            KillAllTasks()
        end
    elseif command == "standart_action" then
        if params[1] == "escape" and params[2] == "1" then
            KillAllTasks()
        end
    end
end

while true do
    while SetNextCommand(globalObject) do
        handle(GetCurrentCommand(globalObject), { GetCurrentParams(globalObject) })
    end
    Update()
end
