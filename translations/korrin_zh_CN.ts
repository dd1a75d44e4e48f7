<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Excel</name>
    <message>
        <source>cannot read the file: %1</source>
        <translation>无法读取文件: %1</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>not a workbook (neither a zip package nor a compound file)</source>
        <translation>不是工作簿(既不是 zip 包，也不是复合文档)</translation>
    </message>
    <message>
        <source>cannot open the workbook</source>
        <translation>无法打开工作簿</translation>
    </message>
    <message>
        <source>cannot resolve the path: %1</source>
        <translation>无法解析路径: %1</translation>
    </message>
    <message>
        <source>cannot resolve the folder: %1</source>
        <translation>无法解析文件夹: %1</translation>
    </message>
    <message>
        <source>cannot write the file: %1</source>
        <translation>无法写入文件: %1</translation>
    </message>
    <message>
        <source>the path is not a regular file</source>
        <translation>该路径不是普通文件</translation>
    </message>
    <message>
        <source>the file was changed by someone else since it was opened</source>
        <translation>文件打开后已被他人修改</translation>
    </message>
    <message>
        <source>the file is read-only</source>
        <translation>文件是只读的</translation>
    </message>
    <message>
        <source>the folder is read-only</source>
        <translation>文件夹是只读的</translation>
    </message>
    <message>
        <source>the file belongs to another user and its folder has the sticky bit: only the file&apos;s owner can replace it</source>
        <translation>文件属于其他用户，且所在文件夹设置了粘滞位: 只有文件所有者才能替换它</translation>
    </message>
    <message>
        <source>nothing to save</source>
        <translation>没有可保存的内容</translation>
    </message>
    <message>
        <source>cannot reopen the temporary file: %1</source>
        <translation>无法重新打开临时文件: %1</translation>
    </message>
    <message>
        <source>cannot lock the temporary file again</source>
        <translation>无法再次锁定临时文件</translation>
    </message>
    <message>
        <source>cannot write the new file: %1</source>
        <translation>无法写入新文件: %1</translation>
    </message>
    <message>
        <source>cannot replace the file: %1</source>
        <translation>无法替换文件: %1</translation>
    </message>
    <message>
        <source>the save was committed already</source>
        <translation>已经保存过了</translation>
    </message>
    <message>
        <source>the new text is longer than %1 characters</source>
        <translation>新文本超过 %1 个字符</translation>
    </message>
    <message>
        <source>the new formula is not well-formed: =%1</source>
        <translation>新公式格式不正确: =%1</translation>
    </message>
    <message>
        <source>the new formula is longer than 8192 characters</source>
        <translation>新公式超过 8192 个字符</translation>
    </message>
    <message>
        <source>=%1 refers to the sheet &apos;%2&apos;, which the workbook does not have (Excel would take it for a link to another file)</source>
        <translation>=%1 引用了工作表“%2”，但工作簿中没有该工作表(Excel 会把它当作指向其他文件的链接)</translation>
    </message>
    <message>
        <source>cannot read the file&apos;s extended attributes: %1</source>
        <translation>无法读取文件的扩展属性: %1</translation>
    </message>
    <message>
        <source>cannot read the extended attribute %1: %2</source>
        <translation>无法读取扩展属性 %1: %2</translation>
    </message>
    <message>
        <source>cannot give the new file the extended attribute %1: %2</source>
        <translation>无法为新文件设置扩展属性 %1: %2</translation>
    </message>
    <message>
        <source>cannot remove the folder&apos;s ACL from the new file: %1</source>
        <translation>无法从新文件上移除文件夹的 ACL: %1</translation>
    </message>
    <message>
        <source>cannot give the new file the permissions of the old one: %1</source>
        <translation>无法为新文件设置与原文件相同的权限: %1</translation>
    </message>
    <message>
        <source>cannot create a temporary file in the folder: %1</source>
        <translation>无法在文件夹中创建临时文件: %1</translation>
    </message>
    <message>
        <source>cannot lock the temporary file: %1</source>
        <translation>无法锁定临时文件: %1</translation>
    </message>
    <message>
        <source>cannot create a temporary file in the folder: every name tried was taken</source>
        <translation>无法在文件夹中创建临时文件: 尝试的文件名都已被占用</translation>
    </message>
    <message>
        <source>save: </source>
        <translation>保存: </translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: it holds no cells (chart, dialog or macro sheet)</source>
        <translation>工作表“%1”: 不含单元格(图表、对话框或宏表)</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: position %2 is outside the .xls grid</source>
        <translation>工作表“%1”: 位置 %2 超出了 .xls 表格的范围</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: cannot read position &apos;%2&apos;</source>
        <translation>工作表“%1”: 无法识别位置“%2”</translation>
    </message>
    <message>
        <source>an .xls workbook, not an .xlsx one</source>
        <translation>这是 .xls 工作簿，不是 .xlsx 工作簿</translation>
    </message>
    <message>
        <source>cannot read the file</source>
        <translation>无法读取文件</translation>
    </message>
    <message>
        <source>cannot read the workbook</source>
        <translation>无法读取工作簿</translation>
    </message>
</context>
<context>
    <name>Lists</name>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>link out of its folder</source>
        <translation>个指向所在文件夹之外的链接</translation>
    </message>
    <message>
        <source>links out of their folders</source>
        <translation>个指向所在文件夹之外的链接</translation>
    </message>
    <message>
        <source>link of another user</source>
        <translation>个属于其他用户的链接</translation>
    </message>
    <message>
        <source>links of other users</source>
        <translation>个属于其他用户的链接</translation>
    </message>
    <message>
        <source>folder of backups</source>
        <translation>个备份文件夹</translation>
    </message>
    <message>
        <source>folders of backups</source>
        <translation>个备份文件夹</translation>
    </message>
    <message>
        <source>it has %1 sheet(s), the layout needs %2</source>
        <translation>它有 %1 个工作表，列表格式需要 %2 个</translation>
    </message>
    <message>
        <source>it lacks the sheet %1</source>
        <translation>缺少工作表 %1</translation>
    </message>
    <message>
        <source>no list file was named</source>
        <translation>未指定列表文件</translation>
    </message>
    <message>
        <source>it lacks the sheets of either list layout</source>
        <translation>两种列表格式所需的工作表它都没有</translation>
    </message>
    <message>
        <source>cannot start the workbook</source>
        <translation>无法创建工作簿</translation>
    </message>
    <message>
        <source>cannot add the sheet %1</source>
        <translation>无法添加工作表 %1</translation>
    </message>
    <message>
        <source>cannot write a cell: %1</source>
        <translation>无法写入单元格: %1</translation>
    </message>
    <message>
        <source>cannot write the workbook: %1</source>
        <translation>无法写入工作簿: %1</translation>
    </message>
    <message>
        <source>cannot read %1</source>
        <translation>无法读取 %1</translation>
    </message>
    <message>
        <source>not scanned: %1</source>
        <translation>未扫描: %1</translation>
    </message>
</context>
<context>
    <name>Run</name>
    <message>
        <source>cannot write %1: %2</source>
        <translation>无法写入 %1: %2</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>无法读取 %1: %2</translation>
    </message>
    <message>
        <source>%1 is damaged: %2</source>
        <translation>%1 已损坏: %2</translation>
    </message>
    <message>
        <source>cannot use the folder %1: %2</source>
        <translation>无法使用文件夹 %1: %2</translation>
    </message>
    <message>
        <source>%1 is a symbolic link, not a folder: name the folder itself</source>
        <translation>%1 是符号链接，不是文件夹: 请指定文件夹本身</translation>
    </message>
    <message>
        <source>%1 is not a folder</source>
        <translation>%1 不是文件夹</translation>
    </message>
    <message>
        <source>the folder %1 belongs to another user (uid %2)</source>
        <translation>文件夹 %1 属于其他用户(uid %2)</translation>
    </message>
    <message>
        <source>cannot create the backup folder %1: %2</source>
        <translation>无法创建备份文件夹 %1: %2</translation>
    </message>
    <message>
        <source>cannot create a folder in %1 for the run&apos;s backups: %2</source>
        <translation>无法在 %1 中为本次替换的备份创建文件夹: %2</translation>
    </message>
    <message>
        <source>cannot write into the backup folder %1: %2</source>
        <translation>无法写入备份文件夹 %1: %2</translation>
    </message>
    <message>
        <source>cannot note the backup in %1/%2: %3</source>
        <translation>无法在 %1/%2 中记录备份: %3</translation>
    </message>
    <message>
        <source>cannot write the manifest of %1: %2</source>
        <translation>无法写入 %1 的备份清单: %2</translation>
    </message>
    <message>
        <source>%1 is no folder of a run&apos;s backups (it has no %2)</source>
        <translation>%1 不是某次替换的备份文件夹(其中没有 %2)</translation>
    </message>
    <message>
        <source>%1: an entry of the manifest is damaged</source>
        <translation>%1: 备份清单中有条目已损坏</translation>
    </message>
    <message>
        <source>%1 has no manifest: %2</source>
        <translation>%1 没有备份清单: %2</translation>
    </message>
    <message>
        <source>%1 holds more than a run&apos;s backups: it was left</source>
        <translation>%1 中除了备份还有其他内容: 已保留未删</translation>
    </message>
    <message>
        <source>cannot delete %1: %2</source>
        <translation>无法删除 %1: %2</translation>
    </message>
    <message>
        <source>%1: a record of changes is written as .xlsx or .csv</source>
        <translation>%1: 更改记录只能保存为 .xlsx 或 .csv</translation>
    </message>
    <message>
        <source>%1 is a folder</source>
        <translation>%1 是文件夹</translation>
    </message>
    <message>
        <source>the record of changes was written already</source>
        <translation>更改记录已经写过了</translation>
    </message>
    <message>
        <source>cannot create a temporary file for the record of changes in %1: %2</source>
        <translation>无法在 %1 中为更改记录创建临时文件: %2</translation>
    </message>
    <message>
        <source>cannot write the record of changes: %1</source>
        <translation>无法写入更改记录: %1</translation>
    </message>
    <message>
        <source>no row %1 in the record of changes</source>
        <translation>更改记录中没有第 %1 行</translation>
    </message>
    <message>
        <source>cannot read the record of changes: %1</source>
        <translation>无法读取更改记录: %1</translation>
    </message>
    <message>
        <source>it is shorter than written</source>
        <translation>它比写入的内容短</translation>
    </message>
    <message>
        <source>the record of changes is damaged at row %1</source>
        <translation>更改记录在第 %1 行已损坏</translation>
    </message>
    <message>
        <source>opened by %1</source>
        <translation>打开者: %1</translation>
    </message>
    <message>
        <source>an unnamed user</source>
        <translation>未具名用户</translation>
    </message>
    <message>
        <source> on %1</source>
        <translation>，计算机: %1</translation>
    </message>
    <message>
        <source> at %1</source>
        <translation>，时间: %1</translation>
    </message>
    <message>
        <source>if nobody has it open, delete the lock file %1</source>
        <translation>如果没有人打开它，请删除锁定文件 %1</translation>
    </message>
    <message>
        <source>open in another program (its lock file is there); %1</source>
        <translation>已在其他程序中打开(存在它的锁定文件)；%1</translation>
    </message>
    <message>
        <source>open in another program: %1; %2</source>
        <translation>已在其他程序中打开: %1；%2</translation>
    </message>
    <message>
        <source>not saved</source>
        <translation>未保存</translation>
    </message>
    <message>
        <source>no workbooks collection</source>
        <translation>无法取得工作簿集合</translation>
    </message>
    <message>
        <source>cannot open the workbook</source>
        <translation>无法打开工作簿</translation>
    </message>
    <message>
        <source>open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>the file was replaced by another program while it was being opened</source>
        <translation>打开文件期间，文件被其他程序替换了</translation>
    </message>
    <message>
        <source>the workbook has no sheets collection</source>
        <translation>工作簿没有工作表集合</translation>
    </message>
    <message>
        <source>the workbook has no sheets</source>
        <translation>工作簿中没有工作表</translation>
    </message>
    <message>
        <source>the workbook has no active sheet</source>
        <translation>工作簿没有活动工作表</translation>
    </message>
    <message>
        <source>sheet %1 cannot be read</source>
        <translation>无法读取第 %1 个工作表</translation>
    </message>
    <message>
        <source>it cannot be read</source>
        <translation>无法读取</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: no used range</source>
        <translation>工作表“%1”: 没有已用区域</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: &apos;%2&apos; is no cell position</source>
        <translation>工作表“%1”: “%2”不是单元格位置</translation>
    </message>
    <message>
        <source>record of changes</source>
        <translation>更改记录</translation>
    </message>
    <message>
        <source>the workbook could not be written</source>
        <translation>无法写出工作簿</translation>
    </message>
    <message>
        <source>the file has %1 hard links: a save would give this name a new file and leave the old content under the other names (korrin-batch --break-links saves it all the same)</source>
        <translation>该文件有 %1 个硬链接: 保存会让这个文件名指向新文件，其他文件名仍是旧内容(korrin-batch --break-links 可照样保存)</translation>
    </message>
    <message>
        <source>the run was stopped</source>
        <translation>替换已停止</translation>
    </message>
    <message>
        <source>backup</source>
        <translation>备份</translation>
    </message>
    <message>
        <source>worked on without file locks, which its file system does not support: other programs were kept out only by the check that the file was not changed since it was read</source>
        <translation>所在文件系统不支持文件锁，处理时未加锁: 仅靠检查文件读取后未被修改来防止其他程序的改动</translation>
    </message>
    <message>
        <source>as it was before the run already; nothing to restore</source>
        <translation>文件已是替换前的内容，无需恢复</translation>
    </message>
    <message>
        <source>changed since the run; not restored</source>
        <translation>替换后文件又被修改过，未恢复</translation>
    </message>
    <message>
        <source>not a file</source>
        <translation>不是文件</translation>
    </message>
    <message>
        <source>cannot read the backup %1: %2</source>
        <translation>无法读取备份 %1: %2</translation>
    </message>
    <message>
        <source>the file was replaced by another program meanwhile</source>
        <translation>文件在此期间被其他程序替换了</translation>
    </message>
    <message>
        <source>the file has %1 hard links: a restore would give this name a new file and leave the other names as the run wrote them (korrin-batch --break-links restores it all the same)</source>
        <translation>该文件有 %1 个硬链接: 恢复会让这个文件名指向新文件，其他文件名仍是替换后的内容(korrin-batch --break-links 可照样恢复)</translation>
    </message>
    <message>
        <source>not restored</source>
        <translation>未恢复</translation>
    </message>
    <message>
        <source>the backup %1 is no longer the original that the run copied; not restored</source>
        <translation>备份 %1 已不是替换时复制的原文件，未恢复</translation>
    </message>
    <message>
        <source>too few files may be open (see ulimit -n): a job needs up to %1 descriptors, and fewer are free</source>
        <translation>可同时打开的文件数太少(见 ulimit -n): 每个任务最多需要 %1 个文件描述符，而可用的更少</translation>
    </message>
    <message>
        <source>not processed: the run was stopped</source>
        <translation>未处理: 替换已停止</translation>
    </message>
    <message>
        <source>the same workbook as %1, with other pairs: not processed, so that it is not changed twice</source>
        <translation>与 %1 是同一个工作簿，但替换内容不同: 未处理，以免同一文件被改两次</translation>
    </message>
    <message>
        <source>not processed: another name (hard link) of %1, which got a file of its own; this name keeps the old content</source>
        <translation>未处理: 这是 %1 的另一个文件名(硬链接)，%1 已保存为独立的新文件，这个文件名保留旧内容</translation>
    </message>
    <message>
        <source>the same workbook as %1: processed once, there</source>
        <translation>与 %1 是同一个工作簿: 已在那里处理过一次</translation>
    </message>
    <message>
        <source>the same workbook as %1, which failed</source>
        <translation>与 %1 是同一个工作簿，而它处理失败</translation>
    </message>
    <message>
        <source>cannot read the workbook: %1</source>
        <translation>无法读取工作簿: %1</translation>
    </message>
    <message>
        <source>cannot write the copy: %1</source>
        <translation>无法写入副本: %1</translation>
    </message>
    <message>
        <source>cannot name the copy %1: %2</source>
        <translation>无法将副本命名为 %1: %2</translation>
    </message>
    <message>
        <source>too many copies of %1 in the folder</source>
        <translation>文件夹中 %1 的副本太多</translation>
    </message>
    <message>
        <source>cannot open the folder %1: %2</source>
        <translation>无法打开文件夹 %1: %2</translation>
    </message>
    <message>
        <source>cannot create the copy in %1: %2</source>
        <translation>无法在 %1 中创建副本: %2</translation>
    </message>
    <message>
        <source>cannot flush the folder %1: %2</source>
        <translation>无法将文件夹 %1 写入磁盘: %2</translation>
    </message>
    <message>
        <source>a folder</source>
        <translation>文件夹</translation>
    </message>
    <message>
        <source>a FIFO</source>
        <translation>管道(FIFO)</translation>
    </message>
    <message>
        <source>a device</source>
        <translation>设备文件</translation>
    </message>
    <message>
        <source>a socket</source>
        <translation>套接字</translation>
    </message>
    <message>
        <source>a special file</source>
        <translation>特殊文件</translation>
    </message>
    <message>
        <source>the path is empty</source>
        <translation>路径为空</translation>
    </message>
    <message>
        <source>a symbolic link to nothing</source>
        <translation>指向不存在目标的符号链接</translation>
    </message>
    <message>
        <source>the file does not exist</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>a loop of symbolic links</source>
        <translation>符号链接形成了循环</translation>
    </message>
    <message>
        <source>cannot look at the path: %1</source>
        <translation>无法访问路径: %1</translation>
    </message>
    <message>
        <source>, not a workbook file</source>
        <translation>，不是工作簿文件</translation>
    </message>
    <message>
        <source>the file is read-only</source>
        <translation>文件是只读的</translation>
    </message>
    <message>
        <source>the file system is read-only</source>
        <translation>文件系统是只读的</translation>
    </message>
    <message>
        <source>cannot open the file: %1</source>
        <translation>无法打开文件: %1</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>cannot lock the file: %1</source>
        <translation>无法锁定文件: %1</translation>
    </message>
    <message>
        <source>in use by another job or program that holds it locked (waited %1 s)</source>
        <translation>正被另一个任务或程序锁定使用(已等待 %1 秒)</translation>
    </message>
    <message>
        <source>the file keeps being replaced by another program</source>
        <translation>文件不断被其他程序替换</translation>
    </message>
    <message>
        <source>cannot compress %1</source>
        <translation>无法压缩 %1</translation>
    </message>
    <message>
        <source>%1 would be larger than 4 GB</source>
        <translation>%1 将超过 4 GB</translation>
    </message>
</context>
<context>
    <name>System</name>
    <message>
        <source>Operation not permitted</source>
        <translation>不允许该操作</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>没有该文件或文件夹</translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation>输入/输出错误</translation>
    </message>
    <message>
        <source>No such device or address</source>
        <translation>没有该设备或地址</translation>
    </message>
    <message>
        <source>Bad file descriptor</source>
        <translation>文件描述符无效</translation>
    </message>
    <message>
        <source>Resource temporarily unavailable</source>
        <translation>资源暂时不可用</translation>
    </message>
    <message>
        <source>Cannot allocate memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>权限不够</translation>
    </message>
    <message>
        <source>Device or resource busy</source>
        <translation>设备或资源正忙</translation>
    </message>
    <message>
        <source>File exists</source>
        <translation>文件已存在</translation>
    </message>
    <message>
        <source>Invalid cross-device link</source>
        <translation>不能跨设备链接</translation>
    </message>
    <message>
        <source>No such device</source>
        <translation>没有该设备</translation>
    </message>
    <message>
        <source>Not a directory</source>
        <translation>不是文件夹</translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation>是文件夹</translation>
    </message>
    <message>
        <source>Invalid argument</source>
        <translation>参数无效</translation>
    </message>
    <message>
        <source>Too many open files in system</source>
        <translation>系统中打开的文件太多</translation>
    </message>
    <message>
        <source>Too many open files</source>
        <translation>打开的文件太多</translation>
    </message>
    <message>
        <source>Text file busy</source>
        <translation>文件正忙</translation>
    </message>
    <message>
        <source>File too large</source>
        <translation>文件太大</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>磁盘空间不足</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>只读文件系统</translation>
    </message>
    <message>
        <source>Too many links</source>
        <translation>链接太多</translation>
    </message>
    <message>
        <source>File name too long</source>
        <translation>文件名太长</translation>
    </message>
    <message>
        <source>No locks available</source>
        <translation>没有可用的锁</translation>
    </message>
    <message>
        <source>Directory not empty</source>
        <translation>文件夹不为空</translation>
    </message>
    <message>
        <source>Too many levels of symbolic links</source>
        <translation>符号链接层数太多</translation>
    </message>
    <message>
        <source>No data available</source>
        <translation>没有数据</translation>
    </message>
    <message>
        <source>Operation not supported</source>
        <translation>不支持该操作</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>连接超时</translation>
    </message>
    <message>
        <source>Stale file handle</source>
        <translation>文件句柄已失效</translation>
    </message>
    <message>
        <source>Disk quota exceeded</source>
        <translation>超出磁盘配额</translation>
    </message>
</context>
<context>
    <name>Xls</name>
    <message>
        <source>encrypted workbook (the file is protected with a password)</source>
        <translation>工作簿已加密(文件受密码保护)</translation>
    </message>
    <message>
        <source>no Workbook stream in the compound file</source>
        <translation>复合文档中没有 Workbook 流</translation>
    </message>
    <message>
        <source>the Book stream does not start with a BOF record</source>
        <translation>Book 流不是以 BOF 记录开头</translation>
    </message>
    <message>
        <source>Excel 5/95 workbook (only Excel 97 and later .xls files are supported)</source>
        <translation>Excel 5/95 工作簿(只支持 Excel 97 及更高版本的 .xls 文件)</translation>
    </message>
    <message>
        <source>Workbook stream: not a BIFF8 workbook (BOF version 0x%1, type 0x%2)</source>
        <translation>Workbook 流: 不是 BIFF8 工作簿(BOF 版本 0x%1，类型 0x%2)</translation>
    </message>
    <message>
        <source>Workbook stream: BOUNDSHEET record at offset %1 is too short</source>
        <translation>Workbook 流: 偏移 %1 处的 BOUNDSHEET 记录太短</translation>
    </message>
    <message>
        <source>Workbook stream: sheet name at offset %1 runs past its record</source>
        <translation>Workbook 流: 偏移 %1 处的工作表名称超出了所在记录</translation>
    </message>
    <message>
        <source>Workbook stream: the workbook lists no sheets</source>
        <translation>Workbook 流: 工作簿中没有列出任何工作表</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: its offset %2 points to no sheet in the Workbook stream</source>
        <translation>工作表“%1”: 其偏移 %2 在 Workbook 流中找不到工作表</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: it shares its data with sheet &apos;%2&apos;</source>
        <translation>工作表“%1”: 与工作表“%2”共用数据</translation>
    </message>
    <message>
        <source>save: the workbook has no container to write into</source>
        <translation>保存: 工作簿没有可写入的容器</translation>
    </message>
    <message>
        <source>save: the new Workbook stream lost sheets</source>
        <translation>保存: 新的 Workbook 流丢失了工作表</translation>
    </message>
    <message>
        <source>Workbook stream: record header at offset %1 runs past the end</source>
        <translation>Workbook 流: 偏移 %1 处的记录头超出了末尾</translation>
    </message>
    <message>
        <source>Workbook stream: record 0x%1 at offset %2 is %3 bytes long (at most %4 allowed)</source>
        <translation>Workbook 流: 偏移 %2 处的记录 0x%1 长 %3 字节(最多允许 %4 字节)</translation>
    </message>
    <message>
        <source>Workbook stream: record 0x%1 at offset %2 runs past the end</source>
        <translation>Workbook 流: 偏移 %2 处的记录 0x%1 超出了末尾</translation>
    </message>
    <message>
        <source>Workbook stream: BOF record at offset %1 is too short</source>
        <translation>Workbook 流: 偏移 %1 处的 BOF 记录太短</translation>
    </message>
    <message>
        <source>Workbook stream: substreams nested too deeply at offset %1</source>
        <translation>Workbook 流: 偏移 %1 处的子流嵌套太深</translation>
    </message>
    <message>
        <source>Workbook stream: no BOF record at offset %1</source>
        <translation>Workbook 流: 偏移 %1 处没有 BOF 记录</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: cell %2</source>
        <translation>工作表“%1”: 单元格 %2</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: ROW record at offset %2 is too short</source>
        <translation>工作表“%1”: 偏移 %2 处的 ROW 记录太短</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: cell record 0x%2 at offset %3 is malformed</source>
        <translation>工作表“%1”: 偏移 %3 处的单元格记录 0x%2 格式错误</translation>
    </message>
    <message>
        <source> refers to shared string %1, but the table holds %2</source>
        <translation> 引用了共享字符串 %1，但字符串表只有 %2 项</translation>
    </message>
    <message>
        <source> holds the formula that an array formula or data table is stored with; it cannot be overwritten in an .xls file</source>
        <translation> 存放着数组公式或模拟运算表的公式，在 .xls 文件中不能覆盖</translation>
    </message>
    <message>
        <source> is part of an array formula or data table</source>
        <translation> 属于数组公式或模拟运算表</translation>
    </message>
    <message>
        <source> is locked on a protected sheet</source>
        <translation> 在受保护的工作表上被锁定</translation>
    </message>
    <message>
        <source>: an array formula cannot become a value</source>
        <translation>: 数组公式不能改成值</translation>
    </message>
    <message>
        <source>: its shared formula holds tokens that cannot be copied</source>
        <translation>: 其共享公式含有无法复制的部分</translation>
    </message>
    <message>
        <source>: =%1 cannot be stored as an .xls formula (%2)</source>
        <translation>: =%1 无法保存为 .xls 公式(%2)</translation>
    </message>
    <message>
        <source>save: the new file would not read back (%1)</source>
        <translation>保存: 新文件将无法读回(%1)</translation>
    </message>
    <message>
        <source>save: </source>
        <translation>保存: </translation>
    </message>
    <message>
        <source>cannot read the file: %1</source>
        <translation>无法读取文件: %1</translation>
    </message>
    <message>
        <source>the file is larger than 1 GiB</source>
        <translation>文件大于 1 GiB</translation>
    </message>
    <message>
        <source>damaged compound file: </source>
        <translation>复合文档已损坏: </translation>
    </message>
    <message>
        <source>%1 points to sector %2 outside the file</source>
        <translation>%1 指向文件之外的扇区 %2</translation>
    </message>
    <message>
        <source>sector %1 of %2 is also used elsewhere</source>
        <translation>%2 的扇区 %1 也被别处使用</translation>
    </message>
    <message>
        <source>the chain of %1 is broken</source>
        <translation>%1 的扇区链断了</translation>
    </message>
    <message>
        <source>the chain of %1 is shorter than its size</source>
        <translation>%1 的扇区链比其大小短</translation>
    </message>
    <message>
        <source>no compound file header</source>
        <translation>没有复合文档文件头</translation>
    </message>
    <message>
        <source>unsupported header values</source>
        <translation>文件头中的值不受支持</translation>
    </message>
    <message>
        <source>the file is shorter than its header</source>
        <translation>文件比其文件头还短</translation>
    </message>
    <message>
        <source>impossible FAT size</source>
        <translation>FAT 大小不可能成立</translation>
    </message>
    <message>
        <source>the DIFAT</source>
        <translation>DIFAT</translation>
    </message>
    <message>
        <source>a DIFAT sector is cut off</source>
        <translation>一个 DIFAT 扇区不完整</translation>
    </message>
    <message>
        <source>the DIFAT lists fewer FAT sectors than the header</source>
        <translation>DIFAT 列出的 FAT 扇区比文件头中的少</translation>
    </message>
    <message>
        <source>the FAT</source>
        <translation>FAT</translation>
    </message>
    <message>
        <source>a FAT sector is cut off</source>
        <translation>一个 FAT 扇区不完整</translation>
    </message>
    <message>
        <source>the directory</source>
        <translation>目录</translation>
    </message>
    <message>
        <source>a directory sector is cut off</source>
        <translation>一个目录扇区不完整</translation>
    </message>
    <message>
        <source>no root entry</source>
        <translation>没有根条目</translation>
    </message>
    <message>
        <source>the root entry has siblings</source>
        <translation>根条目有同级条目</translation>
    </message>
    <message>
        <source>the mini stream is larger than the file</source>
        <translation>迷你流比文件还大</translation>
    </message>
    <message>
        <source>the mini FAT</source>
        <translation>迷你 FAT</translation>
    </message>
    <message>
        <source>a mini FAT sector is cut off</source>
        <translation>一个迷你 FAT 扇区不完整</translation>
    </message>
    <message>
        <source>the mini stream</source>
        <translation>迷你流</translation>
    </message>
    <message>
        <source>the directory tree is broken</source>
        <translation>目录树已损坏</translation>
    </message>
    <message>
        <source>stream %1 is larger than the file</source>
        <translation>流 %1 比文件还大</translation>
    </message>
    <message>
        <source>stream %1</source>
        <translation>流 %1</translation>
    </message>
    <message>
        <source>storages nested too deeply</source>
        <translation>存储嵌套太深</translation>
    </message>
    <message>
        <source>entry %1 cannot be opened</source>
        <translation>无法打开条目 %1</translation>
    </message>
    <message>
        <source>stream %1 has an impossible size</source>
        <translation>流 %1 的大小不可能成立</translation>
    </message>
    <message>
        <source>stream %1 cannot be read</source>
        <translation>无法读取流 %1</translation>
    </message>
    <message>
        <source>cannot create entry %1 in the new file</source>
        <translation>无法在新文件中创建条目 %1</translation>
    </message>
    <message>
        <source>cannot write stream %1</source>
        <translation>无法写入流 %1</translation>
    </message>
    <message>
        <source>cannot finish entry %1</source>
        <translation>无法完成条目 %1</translation>
    </message>
    <message>
        <source>cannot be read</source>
        <translation>无法读取</translation>
    </message>
    <message>
        <source>cannot create the compound file</source>
        <translation>无法创建复合文档</translation>
    </message>
    <message>
        <source>cannot finish the compound file</source>
        <translation>无法完成复合文档</translation>
    </message>
    <message>
        <source>the new compound file is empty</source>
        <translation>新的复合文档是空的</translation>
    </message>
    <message>
        <source>entry %1 differs</source>
        <translation>条目 %1 不一致</translation>
    </message>
    <message>
        <source>class id of %1 differs</source>
        <translation>%1 的类标识不一致</translation>
    </message>
    <message>
        <source>content of %1 differs</source>
        <translation>%1 的内容不一致</translation>
    </message>
    <message>
        <source>the formula is longer than an .xls file can store</source>
        <translation>公式超出了 .xls 文件能保存的长度</translation>
    </message>
    <message>
        <source>there is no sheet &apos;%1&apos;</source>
        <translation>没有工作表“%1”</translation>
    </message>
    <message>
        <source>the workbook has no reference table for the sheet &apos;%1&apos;</source>
        <translation>工作簿中没有工作表“%1”的引用表</translation>
    </message>
    <message>
        <source>%1 lies outside the .xls grid (A1:IV65536)</source>
        <translation>%1 超出了 .xls 表格的范围(A1:IV65536)</translation>
    </message>
    <message>
        <source>&apos;%1&apos; cannot be a name</source>
        <translation>“%1”不能作为名称</translation>
    </message>
    <message>
        <source>a text longer than 255 characters in a formula</source>
        <translation>公式中有超过 255 个字符的文本</translation>
    </message>
    <message>
        <source>%1 cannot be called in this workbook</source>
        <translation>此工作簿中不能调用 %1</translation>
    </message>
    <message>
        <source>%1 has more than 29 arguments</source>
        <translation>%1 的参数超过 29 个</translation>
    </message>
    <message>
        <source>%1 takes %2 to %3 arguments, not %4</source>
        <translation>%1 需要 %2 到 %3 个参数，而不是 %4 个</translation>
    </message>
    <message>
        <source>an unknown operator %1</source>
        <translation>未知运算符 %1</translation>
    </message>
    <message>
        <source>an unknown part of a formula</source>
        <translation>公式中有无法识别的部分</translation>
    </message>
    <message>
        <source>the formula is cut off</source>
        <translation>公式不完整</translation>
    </message>
    <message>
        <source>an operator lacks its operand</source>
        <translation>运算符缺少运算对象</translation>
    </message>
    <message>
        <source>a reference to sheet entry %1, which the workbook lacks</source>
        <translation>引用了工作表条目 %1，但工作簿中没有</translation>
    </message>
    <message>
        <source>a reference to another workbook</source>
        <translation>引用了其他工作簿</translation>
    </message>
    <message>
        <source>a reference to a deleted sheet</source>
        <translation>引用了已删除的工作表</translation>
    </message>
    <message>
        <source>a defined name the workbook lacks</source>
        <translation>引用了工作簿中没有的已定义名称</translation>
    </message>
    <message>
        <source>a name local to another sheet</source>
        <translation>引用了属于其他工作表的局部名称</translation>
    </message>
    <message>
        <source>an array constant without its values</source>
        <translation>数组常量缺少其值</translation>
    </message>
    <message>
        <source>an array constant is cut off</source>
        <translation>数组常量不完整</translation>
    </message>
    <message>
        <source>an unknown error value</source>
        <translation>未知的错误值</translation>
    </message>
    <message>
        <source>an array constant with an empty or unknown value</source>
        <translation>数组常量中有空值或未知值</translation>
    </message>
    <message>
        <source>a user-defined function without its name</source>
        <translation>自定义函数缺少名称</translation>
    </message>
    <message>
        <source>function number %1, which this engine does not know</source>
        <translation>函数编号 %1，本程序不认识</translation>
    </message>
    <message>
        <source>%1 with %2 arguments</source>
        <translation>%1 带有 %2 个参数</translation>
    </message>
    <message>
        <source>a function lacks its arguments</source>
        <translation>函数缺少参数</translation>
    </message>
    <message>
        <source>a user-defined function whose name is not a name</source>
        <translation>自定义函数的名称不是有效名称</translation>
    </message>
    <message>
        <source>a shared or array formula token in the wrong place</source>
        <translation>共享公式或数组公式标记出现在错误的位置</translation>
    </message>
    <message>
        <source>a data table</source>
        <translation>模拟运算表</translation>
    </message>
    <message>
        <source>an unknown kind of space</source>
        <translation>未知类型的空白</translation>
    </message>
    <message>
        <source>an attribute token of kind 0x%1</source>
        <translation>类型为 0x%1 的属性标记</translation>
    </message>
    <message>
        <source>token 0x%1, which this engine does not know</source>
        <translation>标记 0x%1，本程序不认识</translation>
    </message>
    <message>
        <source>function number %1 without an argument count</source>
        <translation>函数编号 %1 缺少参数个数</translation>
    </message>
    <message>
        <source>a macro command</source>
        <translation>宏命令</translation>
    </message>
    <message>
        <source>a memory area without its data</source>
        <translation>内存区域缺少数据</translation>
    </message>
    <message>
        <source>a name in another workbook</source>
        <translation>其他工作簿中的名称</translation>
    </message>
    <message>
        <source>an add-in name the workbook lacks</source>
        <translation>工作簿中没有的加载项名称</translation>
    </message>
    <message>
        <source>an empty formula</source>
        <translation>空公式</translation>
    </message>
    <message>
        <source>operands left over</source>
        <translation>有多余的运算对象</translation>
    </message>
    <message>
        <source>unexpected &apos;%1&apos; at position %2</source>
        <translation>位置 %2 处出现了意外的“%1”</translation>
    </message>
    <message>
        <source>the formula nests too deeply</source>
        <translation>公式嵌套太深</translation>
    </message>
    <message>
        <source>a text is not closed</source>
        <translation>文本缺少结束引号</translation>
    </message>
    <message>
        <source>an unknown error value at position %1</source>
        <translation>位置 %1 处有未知的错误值</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a number</source>
        <translation>“%1”不是数字</translation>
    </message>
    <message>
        <source>an array constant holds something other than constants</source>
        <translation>数组常量中含有非常量</translation>
    </message>
    <message>
        <source>a sign before a non-number in an array constant</source>
        <translation>数组常量中正负号后面不是数字</translation>
    </message>
    <message>
        <source>the rows of an array constant differ in length</source>
        <translation>数组常量各行的长度不一致</translation>
    </message>
    <message>
        <source>an array constant is not closed</source>
        <translation>数组常量缺少右大括号</translation>
    </message>
    <message>
        <source>an array constant is too large</source>
        <translation>数组常量太大</translation>
    </message>
    <message>
        <source>%1( is not closed</source>
        <translation>%1( 缺少右括号</translation>
    </message>
    <message>
        <source>the formula ends where a value is expected</source>
        <translation>公式在应有值的地方结束了</translation>
    </message>
    <message>
        <source>a parenthesis is not closed</source>
        <translation>括号没有闭合</translation>
    </message>
    <message>
        <source>a sheet name without a cell reference after it (%1)</source>
        <translation>工作表名称后面缺少单元格引用(%1)</translation>
    </message>
    <message>
        <source>libgsf cannot be loaded: %1</source>
        <translation>无法加载 libgsf: %1</translation>
    </message>
    <message>
        <source>libgsf lacks %1</source>
        <translation>libgsf 缺少 %1</translation>
    </message>
    <message>
        <source>Workbook stream: SST record is too short</source>
        <translation>Workbook 流: SST 记录太短</translation>
    </message>
    <message>
        <source>Workbook stream: SST string %1 %2</source>
        <translation>Workbook 流: SST 字符串 %1 %2</translation>
    </message>
    <message>
        <source>has its header split across records</source>
        <translation>的头部跨越了记录</translation>
    </message>
    <message>
        <source>runs past its record</source>
        <translation>超出了所在记录</translation>
    </message>
    <message>
        <source>splits a character across records</source>
        <translation>有字符跨越了记录</translation>
    </message>
    <message>
        <source>it is shorter than its size</source>
        <translation>文件短于其记录的大小</translation>
    </message>
    <message>
        <source>the workbook&apos;s cells are no longer held after a failed save</source>
        <translation>保存失败后, 工作簿的单元格已不再保留</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: the formula at offset %2 is followed by more than %3 records</source>
        <translation>工作表 &apos;%1&apos;: 偏移 %2 处的公式后跟随的记录超过 %3 条</translation>
    </message>
</context>
<context>
    <name>Xlsx</name>
    <message>
        <source>a text longer than 255 characters in a formula</source>
        <translation>公式中有超过 255 个字符的文本</translation>
    </message>
    <message>
        <source>not a workbook package (no office document relationship)</source>
        <translation>不是工作簿包(没有 officeDocument 关系)</translation>
    </message>
    <message>
        <source>binary workbooks (.xlsb) are not supported</source>
        <translation>不支持二进制工作簿(.xlsb)</translation>
    </message>
    <message>
        <source>not a spreadsheet (the package holds %1)</source>
        <translation>不是电子表格(包中是 %1)</translation>
    </message>
    <message>
        <source>mixes strict and transitional namespaces</source>
        <translation>混用了 Strict 和 Transitional 命名空间</translation>
    </message>
    <message>
        <source>not a workbook part</source>
        <translation>不是工作簿部件</translation>
    </message>
    <message>
        <source>a sheet without a relationship id</source>
        <translation>有工作表缺少关系 ID</translation>
    </message>
    <message>
        <source>the workbook has no sheets</source>
        <translation>工作簿中没有工作表</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos; has no part</source>
        <translation>工作表“%1”没有对应的部件</translation>
    </message>
    <message>
        <source>sheet &apos;%1&apos;: the package has no part %2</source>
        <translation>工作表“%1”: 包中没有部件 %2</translation>
    </message>
    <message>
        <source>cannot write</source>
        <translation>无法写入</translation>
    </message>
    <message>
        <source>changed since it was read</source>
        <translation>读取后已被修改</translation>
    </message>
    <message>
        <source>cannot read the file</source>
        <translation>无法读取文件</translation>
    </message>
    <message>
        <source>the package has no part %1</source>
        <translation>包中没有部件 %1</translation>
    </message>
    <message>
        <source>not a workbook package (no [Content_Types].xml)</source>
        <translation>不是工作簿包(没有 [Content_Types].xml)</translation>
    </message>
    <message>
        <source>not a relationships part</source>
        <translation>不是关系部件</translation>
    </message>
    <message>
        <source>too large</source>
        <translation>太大</translation>
    </message>
    <message>
        <source>not a shared-strings part</source>
        <translation>不是共享字符串部件</translation>
    </message>
    <message>
        <source>no shared string %1</source>
        <translation>没有共享字符串 %1</translation>
    </message>
    <message>
        <source>no entry %1 to take the place of %2</source>
        <translation>没有条目 %1 可以代替 %2</translation>
    </message>
    <message>
        <source>overlapping changes (internal error)</source>
        <translation>更改相互重叠(内部错误)</translation>
    </message>
    <message>
        <source>not a styles part</source>
        <translation>不是样式部件</translation>
    </message>
    <message>
        <source>shared string %1 does not exist</source>
        <translation>共享字符串 %1 不存在</translation>
    </message>
    <message>
        <source>bad shared string index</source>
        <translation>共享字符串索引无效</translation>
    </message>
    <message>
        <source>an array formula cannot become a value</source>
        <translation>数组公式不能改成值</translation>
    </message>
    <message>
        <source>the cell is locked on a protected sheet</source>
        <translation>该单元格在受保护的工作表上被锁定</translation>
    </message>
    <message>
        <source>too many changes</source>
        <translation>更改太多</translation>
    </message>
    <message>
        <source>%1: a value cannot be written into an array or data-table formula range</source>
        <translation>%1: 不能向数组公式或模拟运算表的区域写入值</translation>
    </message>
    <message>
        <source>the sheet has no sheetData for new cells</source>
        <translation>工作表没有可放新单元格的 sheetData</translation>
    </message>
    <message>
        <source>the sheet&apos;s rows or cells are out of order; no cell can be added</source>
        <translation>工作表的行或单元格顺序错乱，无法添加单元格</translation>
    </message>
    <message>
        <source>too many cells</source>
        <translation>单元格太多</translation>
    </message>
    <message>
        <source>the part is too large</source>
        <translation>部件太大</translation>
    </message>
    <message>
        <source>bad row number %1</source>
        <translation>行号 %1 无效</translation>
    </message>
    <message>
        <source>row beyond the last row of a sheet</source>
        <translation>行号超出了工作表的最后一行</translation>
    </message>
    <message>
        <source>%1 (at byte %2)</source>
        <translation>%1(在第 %2 字节)</translation>
    </message>
    <message>
        <source>not a worksheet</source>
        <translation>不是工作表</translation>
    </message>
    <message>
        <source>two sheetData elements</source>
        <translation>有两个 sheetData 元素</translation>
    </message>
    <message>
        <source>bad cell reference %1</source>
        <translation>单元格引用 %1 无效</translation>
    </message>
    <message>
        <source>cell %1 lies outside its row %2</source>
        <translation>单元格 %1 不在其所在行 %2 内</translation>
    </message>
    <message>
        <source>cell beyond the last column of a sheet</source>
        <translation>单元格超出了工作表的最后一列</translation>
    </message>
    <message>
        <source>bad style index</source>
        <translation>样式索引无效</translation>
    </message>
    <message>
        <source>too many namespace scopes</source>
        <translation>命名空间作用域太多</translation>
    </message>
    <message>
        <source>cell %1 has two &lt;%2&gt; elements</source>
        <translation>单元格 %1 有两个 &lt;%2&gt; 元素</translation>
    </message>
    <message>
        <source>shared formula without its index</source>
        <translation>共享公式缺少索引</translation>
    </message>
    <message>
        <source>bad formula range %1</source>
        <translation>公式区域 %1 无效</translation>
    </message>
    <message>
        <source>array formula ranges overlap</source>
        <translation>数组公式的区域相互重叠</translation>
    </message>
    <message>
        <source>the part is not loaded</source>
        <translation>部件尚未载入</translation>
    </message>
    <message>
        <source>control character 0x%1 is not allowed in XML</source>
        <translation>XML 中不允许控制字符 0x%1</translation>
    </message>
    <message>
        <source>the part is not valid UTF-8</source>
        <translation>部件不是有效的 UTF-8</translation>
    </message>
    <message>
        <source>character U+%1 is not allowed in XML</source>
        <translation>XML 中不允许字符 U+%1</translation>
    </message>
    <message>
        <source>stray &apos;&amp;&apos; or unterminated reference</source>
        <translation>多余的“&amp;”或未结束的引用</translation>
    </message>
    <message>
        <source>character reference &amp;%1; is not allowed</source>
        <translation>不允许字符引用 &amp;%1;</translation>
    </message>
    <message>
        <source>undeclared entity &amp;%1;</source>
        <translation>未声明的实体 &amp;%1;</translation>
    </message>
    <message>
        <source>UTF-16 parts are not supported</source>
        <translation>不支持 UTF-16 编码的部件</translation>
    </message>
    <message>
        <source>unexpected end of the part: &lt;%1&gt; is not closed</source>
        <translation>部件意外结束: &lt;%1&gt; 没有闭合</translation>
    </message>
    <message>
        <source>the part has no root element</source>
        <translation>部件没有根元素</translation>
    </message>
    <message>
        <source>text outside the root element</source>
        <translation>根元素之外有文本</translation>
    </message>
    <message>
        <source>unexpected end of the part</source>
        <translation>部件意外结束</translation>
    </message>
    <message>
        <source>malformed processing instruction</source>
        <translation>处理指令格式错误</translation>
    </message>
    <message>
        <source>unterminated processing instruction</source>
        <translation>处理指令没有结束</translation>
    </message>
    <message>
        <source>misplaced XML declaration</source>
        <translation>XML 声明位置错误</translation>
    </message>
    <message>
        <source>encoding %1 is not supported</source>
        <translation>不支持编码 %1</translation>
    </message>
    <message>
        <source>unterminated comment</source>
        <translation>注释没有结束</translation>
    </message>
    <message>
        <source>CDATA outside the root element</source>
        <translation>根元素之外有 CDATA</translation>
    </message>
    <message>
        <source>unterminated CDATA section</source>
        <translation>CDATA 段没有结束</translation>
    </message>
    <message>
        <source>the part has a DTD, which is not allowed</source>
        <translation>部件含有 DTD，这是不允许的</translation>
    </message>
    <message>
        <source>malformed markup</source>
        <translation>标记格式错误</translation>
    </message>
    <message>
        <source>a second root element</source>
        <translation>出现了第二个根元素</translation>
    </message>
    <message>
        <source>malformed start tag</source>
        <translation>开始标签格式错误</translation>
    </message>
    <message>
        <source>unterminated start tag</source>
        <translation>开始标签没有结束</translation>
    </message>
    <message>
        <source>attributes must be separated by white space</source>
        <translation>属性之间必须用空白分隔</translation>
    </message>
    <message>
        <source>malformed attribute</source>
        <translation>属性格式错误</translation>
    </message>
    <message>
        <source>attribute without a value</source>
        <translation>属性没有值</translation>
    </message>
    <message>
        <source>attribute value not quoted</source>
        <translation>属性值没有加引号</translation>
    </message>
    <message>
        <source>&apos;&lt;&apos; in an attribute value</source>
        <translation>属性值中有“&lt;”</translation>
    </message>
    <message>
        <source>unterminated attribute value</source>
        <translation>属性值没有结束</translation>
    </message>
    <message>
        <source>malformed qualified name</source>
        <translation>限定名格式错误</translation>
    </message>
    <message>
        <source>too many attributes</source>
        <translation>属性太多</translation>
    </message>
    <message>
        <source>a namespace prefix cannot be undeclared</source>
        <translation>不能取消声明命名空间前缀</translation>
    </message>
    <message>
        <source>reserved namespace prefix</source>
        <translation>保留的命名空间前缀</translation>
    </message>
    <message>
        <source>too many namespace declarations</source>
        <translation>命名空间声明太多</translation>
    </message>
    <message>
        <source>undeclared namespace prefix %1</source>
        <translation>未声明的命名空间前缀 %1</translation>
    </message>
    <message>
        <source>an attribute appears twice</source>
        <translation>有属性出现了两次</translation>
    </message>
    <message>
        <source>elements nested too deeply</source>
        <translation>元素嵌套太深</translation>
    </message>
    <message>
        <source>malformed end tag</source>
        <translation>结束标签格式错误</translation>
    </message>
    <message>
        <source>end tag without a start tag</source>
        <translation>结束标签没有对应的开始标签</translation>
    </message>
    <message>
        <source>&lt;/%1&gt; does not close &lt;%2&gt;</source>
        <translation>&lt;/%1&gt; 与 &lt;%2&gt; 不匹配</translation>
    </message>
    <message>
        <source>cannot read the file: %1</source>
        <translation>无法读取文件: %1</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>not a zip archive, or a truncated one (no end of central directory)</source>
        <translation>不是 zip 压缩包，或压缩包不完整(没有中央目录结束记录)</translation>
    </message>
    <message>
        <source>damaged zip archive (bad ZIP64 end of central directory)</source>
        <translation>zip 压缩包已损坏(ZIP64 中央目录结束记录有误)</translation>
    </message>
    <message>
        <source>split (multi-volume) zip archives are not supported</source>
        <translation>不支持分卷 zip 压缩包</translation>
    </message>
    <message>
        <source>damaged zip archive (central directory out of bounds)</source>
        <translation>zip 压缩包已损坏(中央目录越界)</translation>
    </message>
    <message>
        <source>damaged zip archive (entries overlap): %1</source>
        <translation>zip 压缩包已损坏(条目相互重叠): %1</translation>
    </message>
    <message>
        <source>cannot read the central directory</source>
        <translation>无法读取中央目录</translation>
    </message>
    <message>
        <source>damaged zip archive (bad central directory record %1)</source>
        <translation>zip 压缩包已损坏(中央目录记录 %1 有误)</translation>
    </message>
    <message>
        <source>the package is encrypted (entry %1)</source>
        <translation>包已加密(条目 %1)</translation>
    </message>
    <message>
        <source>entry %1 uses compression method %2, which is not supported</source>
        <translation>条目 %1 使用了不支持的压缩方式 %2</translation>
    </message>
    <message>
        <source>the package holds two entries named %1</source>
        <translation>包中有两个名为 %1 的条目</translation>
    </message>
    <message>
        <source>damaged zip archive (local header of %1)</source>
        <translation>zip 压缩包已损坏(%1 的本地文件头)</translation>
    </message>
    <message>
        <source>the archive is truncated (entry %1)</source>
        <translation>压缩包不完整(条目 %1)</translation>
    </message>
    <message>
        <source>damaged zip archive (data descriptor of %1)</source>
        <translation>zip 压缩包已损坏(%1 的数据描述符)</translation>
    </message>
    <message>
        <source>%1 inflates far beyond its compressed size (a zip bomb?)</source>
        <translation>%1 解压后远大于压缩大小(可能是 zip 炸弹)</translation>
    </message>
    <message>
        <source>%1 is corrupt (deflate data)</source>
        <translation>%1 已损坏(压缩数据)</translation>
    </message>
    <message>
        <source>%1 inflates to more than its declared size</source>
        <translation>%1 解压后超过了声明的大小</translation>
    </message>
    <message>
        <source>%1 is truncated or corrupt (size mismatch)</source>
        <translation>%1 不完整或已损坏(大小不符)</translation>
    </message>
    <message>
        <source>cannot inflate %1</source>
        <translation>无法解压 %1</translation>
    </message>
    <message>
        <source>cannot read %1</source>
        <translation>无法读取 %1</translation>
    </message>
    <message>
        <source>%1 is too large (%2 MB inflated)</source>
        <translation>%1 太大(解压后 %2 MB)</translation>
    </message>
    <message>
        <source>%1 is corrupt (CRC mismatch)</source>
        <translation>%1 已损坏(CRC 校验不符)</translation>
    </message>
    <message>
        <source>cannot write the new file: %1</source>
        <translation>无法写入新文件: %1</translation>
    </message>
    <message>
        <source>cannot read the original file</source>
        <translation>无法读取原文件</translation>
    </message>
    <message>
        <source>cannot write %1</source>
        <translation>无法写入 %1</translation>
    </message>
    <message>
        <source>cannot compress %1</source>
        <translation>无法压缩 %1</translation>
    </message>
    <message>
        <source>%1 would be larger than 4 GB</source>
        <translation>%1 将超过 4 GB</translation>
    </message>
    <message>
        <source>the sheet was worked on in parts before other sheets and cannot be read whole any more</source>
        <translation>该工作表已在处理其他工作表之前分段处理，无法再整体读取</translation>
    </message>
    <message>
        <source>the package has no such part</source>
        <translation>文件包中没有该部件</translation>
    </message>
    <message>
        <source>no sheet data of the usual form</source>
        <translation>没有常见形式的工作表数据</translation>
    </message>
    <message>
        <source>rows that cannot be cut</source>
        <translation>行无法分段</translation>
    </message>
    <message>
        <source>too much after the sheet data</source>
        <translation>工作表数据之后的内容过多</translation>
    </message>
    <message>
        <source>no end of the sheet data</source>
        <translation>工作表数据没有结尾</translation>
    </message>
    <message>
        <source>rows hold comments or sections</source>
        <translation>行中含有注释或 CDATA 段</translation>
    </message>
    <message>
        <source>cells that are not edited one by one</source>
        <translation>含有不能逐个编辑的单元格</translation>
    </message>
    <message>
        <source>rows out of order</source>
        <translation>行的顺序错乱</translation>
    </message>
    <message>
        <source>the sheet is protected</source>
        <translation>工作表受保护</translation>
    </message>
    <message>
        <source>a window of rows came back changed</source>
        <translation>一段行写回时发生了变化</translation>
    </message>
    <message>
        <source>a new shared string that no replace made</source>
        <translation>一个不是由任何替换产生的新共享字符串</translation>
    </message>
</context>
</TS>
