// The Khronos glTF Validator (npm gltf-validator, found through NODE_PATH)
// over every file named, in one node start. Per file one line
//   FILE errors=N warnings=N triangles=N draws=N
// then its errors and warnings, indented. Exit status 1 when the validator
// could not read a file.
'use strict';
const fs = require('fs');
const validator = require('gltf-validator');

(async () => {
    let failed = false;
    for (const file of process.argv.slice(2)) {
        try {
            // Our files hold everything; a reference outside them is a fault.
            const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
                externalResourceFunction: (uri) => Promise.reject(new Error('external resource ' + uri)),
            });
            const issues = report.issues;
            console.log(`${file} errors=${issues.numErrors} warnings=${issues.numWarnings} ` +
                        `triangles=${report.info.totalTriangleCount} draws=${report.info.drawCallCount}`);
            for (const m of issues.messages.filter((m) => m.severity <= 1))
                console.log(`  ${m.code} ${m.pointer || m.offset}: ${m.message}`);
        } catch (e) {
            console.log(`${file} failed: ${e}`);
            failed = true;
        }
    }
    process.exit(failed ? 1 : 0);
})();
