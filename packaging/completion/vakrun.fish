# fish completion for vakrun: its switches and, as the target, directories.
# Switches are whole words (-D -E, never -DE); the mask is joined to -M (-M'*.o').

# One target only: directories are offered until a word that is no switch stands.
function __vakrun_wants_target
    for word in (commandline -opc)[2..-1]
        string match -q -- '-*' $word; or return 1
    end
end

complete -c vakrun -f
complete -c vakrun -n __vakrun_wants_target -a '(__fish_complete_directories (commandline -ct) "")'
complete -c vakrun -o D -d 'Flip the line for every deleted file and removed directory'
complete -c vakrun -o E -d 'Delete only empty directories'
complete -c vakrun -o F -d 'Delete only files; the directories stay, emptied'
complete -c vakrun -o M -d 'Delete only files matching a mask, joined: -M*.o'
complete -c vakrun -o P -d 'Also delete the parents that only lead to the target'
complete -c vakrun -o R -d 'Save the options given before it as the defaults'
complete -c vakrun -o S -d 'Delete only the subdirectories of the target'
complete -c vakrun -o W -d 'Skip the DR-DOS password questions'
complete -c vakrun -o H -d 'Show the usage screen'
complete -c vakrun -l dry-run -d 'Change nothing; say what would be erased'
complete -c vakrun -l help -d 'Show the usage screen'
complete -c vakrun -l version -d 'Show the version line'
