-- What a script received and what it checked, for repeatable runs: with VASTREL_JOURNAL naming a
-- file, each call appends one line there ("<script> <command> <params>" or "<script> = <what>
-- <value>"). Without it nothing is written. Loaded by every game script with dofile.
local path = os.getenv("VASTREL_JOURNAL")

local function append(line)
    if not path or path == "" then return end
    -- Opened per line: the scripts are separate states, and each line must land in turn order.
    local file = io.open(path, "a")
    if file then
        file:write(line, "\n")
        file:close()
    end
end

return function(script)
    local journal = {}
    function journal.command(command, params)
        -- Object handles differ from run to run; the command says enough.
        if command == "add_object" or command == "delete_object" or command == "car" then params = {} end
        append(script .. " " .. command .. " " .. table.concat(params, ","))
    end
    function journal.value(what, ...)
        local parts = {}
        for i = 1, select("#", ...) do
            local v = select(i, ...)
            if type(v) == "number" then
                v = string.format("%.2f", v)
            end
            parts[#parts + 1] = tostring(v)
        end
        append(script .. " = " .. what .. " " .. table.concat(parts, ","))
    end
    -- Runs fn; an error is written down before it ends the script as it would have anyway.
    function journal.guard(fn, ...)
        local results = { pcall(fn, ...) }
        if not results[1] then
            append(script .. " = error " .. tostring(results[2]))
            error(results[2], 0)
        end
        return unpack(results, 2)
    end
    return journal
end
