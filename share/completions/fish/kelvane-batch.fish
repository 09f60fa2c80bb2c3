# fish completion for kelvane-batch

set -l commands tidy validate restore clean
complete -c kelvane-batch -f
complete -c kelvane-batch -n "not __fish_seen_subcommand_from $commands" -a tidy -d 'Tidy in place, keeping backups'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from $commands" -a validate -d 'Report the messages, change nothing'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from $commands" -a restore -d 'Put the backups back'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from $commands" -a clean -d 'Remove the backups'
complete -c kelvane-batch -n "__fish_seen_subcommand_from $commands" -F

complete -c kelvane-batch -s r -l recursive -d 'Descend into folders'
complete -c kelvane-batch -s m -l mask -x -d "';'-separated masks for the files in folders"
complete -c kelvane-batch -s j -l jobs -x -d 'Helper processes (1-64)'
complete -c kelvane-batch -l files-from -r -F -d 'Also the paths listed in FILE (- for standard input)'
complete -c kelvane-batch -s 0 -l null -d 'The paths in the list are NUL-separated'
complete -c kelvane-batch -l options -r -F -d 'Tidy options from this settings file'
complete -c kelvane-batch -l tidy-config -r -F -d 'Tidy options from an HTML Tidy configuration file'
complete -c kelvane-batch -l mute -x -d 'Report no message of these HTML Tidy message keys'
complete -c kelvane-batch -l print-options -d 'Print which options file is used and the options'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from restore clean" -l baseline -r -F -d 'Only messages not in this earlier JSON report count'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from restore clean" -l write-baseline -r -F -d 'Also write the JSON report of this run to FILE'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from validate restore clean" -l check -d 'tidy: list the files tidying would change'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from validate restore clean" -l diff -d 'tidy: print each change as a unified diff'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from validate clean" -l force -d 'tidy: also files with very many messages; restore: also files edited since'
complete -c kelvane-batch -l format -x -a 'text json sarif' -d 'The report on standard output'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from restore clean" -l cache -d 'validate, tidy: reuse results of earlier runs (default)'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from restore clean" -l no-cache -d 'validate, tidy: use no result cache'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from restore clean" -l cache-location -x -a '(__fish_complete_directories)' -d 'Keep the result cache in this folder'
complete -c kelvane-batch -n "not __fish_seen_subcommand_from restore clean" -l cache-strategy -x -a 'content metadata' -d 'What stands for a page\'s content'
complete -c kelvane-batch -s q -l quiet -d 'No progress bar'
complete -c kelvane-batch -s h -l help -d 'Print the usage'
complete -c kelvane-batch -l version -d 'Print the version'
